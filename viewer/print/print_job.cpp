// PrintJob: connects to the printer (a serial port, or an IrLPT printer
// found by infrared discovery), then sends each page of the range as a PCL
// raster page, reporting on the progress dialog and stopping between pages
// when AbortFlag is set.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "imaging/core/core.h"
#include "imaging/core/files.h"
#include "imaging/pixels/pixels.h"
#include "platform/ce_winsock.h"
#include "platform/emulator.h"
#include "viewer/app/state.h"
#include "viewer/print/print.h"

namespace zelmo {

using namespace ce;
using quillon::PageRecord;

PrintRequest gPrint;

namespace {

// The string of "Unable to open COM%d:".
constexpr unsigned kPortMissingText = 40213;
constexpr uint32_t kSerialChunk = 2048;
constexpr uint32_t kUnknownPduChunk = 256;
constexpr int kDiscoveryRounds = 10;
constexpr int kIasAttempts = 3;
constexpr int kConnectAttempts = 5;

bool Aborted() { return gShared.abortFlag != 0; }

void SetLine(int id, const std::u16string& text) {
  // A dialog the user has closed takes no more text; its handle is never
  // given to another window, so a late update is harmless.
  if (HWND dialog = gPrint.progress) SetDlgItemText(dialog, id, text.c_str());
}

std::u16string Printf(const char* format, int value) {
  char text[96];
  std::snprintf(text, sizeof(text), format, value);
  return quillon::Utf8ToUtf16(text);
}

// The job's messages belong to the progress dialog while it is there.
void Tell(const std::u16string& text, const char16_t* title) {
  HWND owner = gPrint.progress;
  if (!owner) owner = gPrint.mainWindow;
  MessageBox(owner, text.c_str(), title, MB_OK | MB_ICONEXCLAMATION);
}

void CloseProgress() {
  if (HWND dialog = gPrint.progress) DestroyWindow(dialog);
}

// Where the pages go.
struct Link {
  HANDLE port = INVALID_HANDLE_VALUE;
  SOCKET socket = INVALID_SOCKET;
  uint32_t chunk = kSerialChunk;
};

void Send(const Link& link, const uint8_t* data, uint32_t size) {
  if (!size) return;
  if (link.port != INVALID_HANDLE_VALUE) {
    DWORD done = 0;
    WriteFile(link.port, data, size, &done, nullptr);
  } else {
    send(link.socket, reinterpret_cast<const char*>(data), static_cast<int>(size), 0);
  }
}

void CloseSocket(Link* link) {
  closesocket(link->socket);
  link->socket = INVALID_SOCKET;
  WSACleanup();
}

bool OpenSerial(Link* link) {
  std::u16string name = Printf("COM%d:", gPrint.port);
  link->port = CreateFile(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (link->port == INVALID_HANDLE_VALUE) {
    Tell(Printf(quillon::Utf16ToUtf8(LoadText(kPortMissingText)).c_str(), gPrint.port), u"Oops!");
    if (!Aborted()) CloseProgress();
    return false;
  }
  SetLine(1070, name);
  link->chunk = kSerialChunk;
  return true;
}

// The printer's LSAP selector from its IAS entry; false after the message.
bool QueryLsap(SOCKET s, const BYTE deviceId[4], int* lsap) {
  IAS_QUERY query{};
  auto ask = [&] {
    query = IAS_QUERY{};
    std::memcpy(query.irdaDeviceID, deviceId, 4);
    std::strcpy(query.irdaClassName, "IrLPT");
    std::strcpy(query.irdaAttribName, "IrDA:IrLMP:LsapSel");
    int length = sizeof(query);
    return getsockopt(s, SOL_IRLMP, IRLMP_IAS_QUERY, reinterpret_cast<char*>(&query), &length) != SOCKET_ERROR;
  };
  bool answered = false;
  for (int attempt = 0; attempt < kIasAttempts && !answered; ++attempt) {
    if (attempt) Sleep(200);
    answered = ask();
    if (!answered && WSAGetLastError() != WSAETIMEDOUT) break;
  }
  if (answered && query.irdaAttribType == IAS_ATTRIB_NO_ATTRIB) answered = ask();
  if (!answered) {
    Tell(u"Unable to query IAS", u"Oops!");
    return false;
  }
  if (query.irdaAttribType == IAS_ATTRIB_NO_ATTRIB) {
    Tell(u"Unable to find a printer", u"Oops!");
    return false;
  }
  if (query.irdaAttribType != IAS_ATTRIB_INT) {
    Tell(u"Bad IAS entry?", u"Oops!");
    return false;
  }
  *lsap = query.irdaAttribute.irdaAttribInt;
  return true;
}

bool OpenInfrared(Link* link) {
  WSADATA data;
  WSAStartup(0x0101, &data);
  link->socket = socket(AF_IRDA, SOCK_STREAM, 0);
  if (link->socket == INVALID_SOCKET) {
    Tell(Printf("Error opening socket = %d", WSAGetLastError()), u"Ouch!");
    WSACleanup();
    return false;
  }
  alignas(DEVICELIST) uint8_t list[256];
  auto* devices = reinterpret_cast<DEVICELIST*>(list);
  bool found = false;
  for (int round = 0; round < kDiscoveryRounds && !Aborted(); ++round) {
    std::memset(list, 0, sizeof(list));
    int length = sizeof(list);
    if (getsockopt(link->socket, SOL_IRLMP, IRLMP_ENUMDEVICES, reinterpret_cast<char*>(list), &length) !=
            SOCKET_ERROR &&
        devices->numDevice > 0) {
      found = true;
      break;
    }
    Sleep(500);
  }
  if (!found) {
    Tell(u"Sorry, no IrDA devices found", u"Oops!");
    CloseSocket(link);
    if (!Aborted()) CloseProgress();
    return false;
  }
  const IRDA_DEVICE_INFO& device = devices->Device[0];
  std::u16string name;
  for (size_t i = 0; i < sizeof(device.irdaDeviceName) && device.irdaDeviceName[i]; ++i)
    name.push_back(static_cast<char16_t>(static_cast<uint8_t>(device.irdaDeviceName[i])));
  SetLine(1070, name);

  int lsap = 0;
  if (!QueryLsap(link->socket, device.irdaDeviceID, &lsap)) {
    CloseSocket(link);
    return false;
  }
  SOCKADDR_IRDA address{};
  address.irdaAddressFamily = AF_IRDA;
  std::memcpy(address.irdaDeviceID, device.irdaDeviceID, 4);
  std::snprintf(address.irdaServiceName, sizeof(address.irdaServiceName), "LSAP-SEL%d", lsap);
  int on = 1;
  setsockopt(link->socket, SOL_IRLMP, IRLMP_IRLPT_MODE, reinterpret_cast<const char*>(&on), sizeof(on));
  bool connected = false;
  for (int attempt = 0; attempt < kConnectAttempts && !connected; ++attempt) {
    if (attempt) Sleep(500);
    connected = connect(link->socket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != SOCKET_ERROR;
  }
  if (!connected) {
    Tell(u"Unable to connect to socket", u"Oops!");
    CloseSocket(link);
    return false;
  }
  int pdu = 0;
  int length = sizeof(pdu);
  if (getsockopt(link->socket, SOL_IRLMP, IRLMP_SEND_PDU_LEN, reinterpret_cast<char*>(&pdu), &length) ==
          SOCKET_ERROR ||
      pdu <= 0)
    pdu = kUnknownPduChunk;
  link->chunk = static_cast<uint32_t>(pdu);
  return true;
}

}  // namespace

PrintSize ComputePrintSize(int32_t width, int32_t height, int32_t xRes, int32_t yRes, int32_t method,
                           int32_t resolution) {
  const PrintResolution& row = kPrintResolutions[std::clamp(resolution, 0, kPrintResolutionCount - 1)];
  if (width <= 0 || height <= 0) return {width, height, false};
  switch (method) {
    case kFitToPage: {
      // A fax page of half vertical resolution fits with its lines doubled
      // (a page of unknown vertical resolution is not one).
      const bool halfLines = xRes > 0 && yRes > 0 && xRes > 2 * static_cast<int64_t>(yRes);
      const int64_t sx = 256 * static_cast<int64_t>(row.widthDots) / width;
      int64_t sy = 256 * static_cast<int64_t>(row.heightDots) / height;
      if (halfLines) sy /= 2;
      const int64_t s = std::min(sx, sy);
      int64_t h = height * s / 256;
      if (halfLines) h *= 2;
      return {static_cast<int32_t>(width * s / 256), static_cast<int32_t>(h), true};
    }
    case kActualSize:
      if (xRes <= 0 || yRes <= 0) return {width, height, false};
      return {static_cast<int32_t>(static_cast<int64_t>(row.dpi) * width / xRes),
              static_cast<int32_t>(static_cast<int64_t>(row.dpi) * height / yRes), true};
    default: return {width, height, false};
  }
}

int32_t PreparePrintPage(PageRecord* page, const PrintRequest& request, PageRecord* pcl) {
  if (request.orientation == 1 && quillon::TransformPage(page, quillon::kRotateClockwise, 90, 0) == quillon::kOk)
    std::swap(page->xResolution, page->yResolution);  // the page's rows are its columns now
  const PrintSize size = ComputePrintSize(page->width, page->height, page->xResolution, page->yResolution,
                                          request.method, request.resolution);
  if (size.scaled && (size.width != page->width || size.height != page->height)) {
    PageRecord resized{};
    if (quillon::ResizePage(page, &resized, size.width, size.height) == quillon::kOk) {
      quillon::FreePage(page);
      *page = resized;
    }
  }
  *pcl = PageRecord{};
  pcl->compression = quillon::kHpPcl;
  int32_t r = quillon::ConvertPage(page, pcl, 0);
  quillon::FreePage(page);
  if (r != quillon::kOk) *pcl = PageRecord{};
  return r;
}

void SendPrintPage(const uint8_t* data, uint32_t size, int32_t dpi, uint32_t chunk,
                   const std::function<void(const uint8_t*, uint32_t)>& send,
                   const std::function<bool()>& aborted, const std::function<void(int)>& progress) {
  char header[32];
  const int n = std::snprintf(header, sizeof(header), "\x1B" "E\x1B*t%dR", dpi);
  send(reinterpret_cast<const uint8_t*>(header), static_cast<uint32_t>(n));
  uint32_t sent = 0;
  if (chunk == 0) chunk = kUnknownPduChunk;
  while (!aborted() && size - sent > chunk) {
    send(data + sent, chunk);
    sent += chunk;
    progress(static_cast<int>(static_cast<uint64_t>(sent) * 100 / size));
  }
  // The rest goes out after a Cancel too: the printer gets a whole raster block.
  send(data + sent, size - sent);
  progress(100);
  static constexpr uint8_t kTrailer[] = {0x0C, 0x1B, 'E'};
  send(kTrailer, sizeof(kTrailer));
}

int32_t PrintJob() {
  SetLine(1070, u"Opening connection...");
  Link link;
  const bool serial = gPrint.port >= 1 && gPrint.port <= 4;
  if (!(serial ? OpenSerial(&link) : OpenInfrared(&link))) {
    LogMilestone("print job ended");
    return quillon::kErrIo;
  }
  // The job reads a file of its own: the main window's may be closed or
  // read by its own messages meanwhile.
  quillon::ImageFile file{};
  const bool fileOpen = quillon::OpenImageFile(gPrint.path.c_str(), &file) == quillon::kOk;
  const int32_t dpi = kPrintResolutions[std::clamp(gPrint.resolution, 0, kPrintResolutionCount - 1)].dpi;
  int32_t result = fileOpen ? quillon::kOk : quillon::kErrIo;
  for (int32_t number = gPrint.firstPage; number <= gPrint.lastPage && !Aborted(); ++number) {
    SetLine(1071, Printf("Page %d", number));
    if (!fileOpen) continue;
    PageRecord extracted{};
    int32_t r = quillon::ExtractPage(&file, &extracted, number - 1);
    PageRecord runs{};
    runs.compression = quillon::kRunLists;
    if (r == quillon::kOk) r = quillon::ConvertPage(&extracted, &runs, 0);
    quillon::FreePage(&extracted);
    PageRecord pcl{};
    if (r == quillon::kOk) r = PreparePrintPage(&runs, gPrint, &pcl);
    if (r != quillon::kOk) {
      result = r;
      continue;
    }
    LogMilestone("print page %d sending", number);
    SendPrintPage(
        pcl.data + pcl.dataOffset, pcl.dataSize, dpi, link.chunk,
        [&link](const uint8_t* data, uint32_t size) { Send(link, data, size); }, Aborted,
        [](int percent) {
          SetLine(1072, percent >= 100 ? std::u16string(u"Completed 100 %") : Printf("Completed %d %%", percent));
        });
    quillon::FreePage(&pcl);
    LogMilestone("print page %d sent", number);
  }
  if (fileOpen) quillon::CloseImageFile(&file);
  if (link.port != INVALID_HANDLE_VALUE) {
    CloseHandle(link.port);
  } else {
    CloseSocket(&link);
  }
  if (!Aborted()) CloseProgress();
  LogMilestone("print job ended");
  return result;
}

}  // namespace zelmo

// The infrared socket fake: by default one printer in range, whose IAS
// entry gives an integer LSAP and which appends every byte it receives to
// \Printouts\IrDA Printer.prn and hands each connection to the virtual
// printer as one job.  --irda none / nosocket / ias-none / ias-string /
// ias-timeout / refuse give the failure paths, --irda pdu N the link's
// maximum send PDU.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "platform/ce_winsock.h"
#include "platform/devices/files_internal.h"
#include "platform/devices/virtual_printer.h"

namespace ce {

using namespace internal;

namespace {

constexpr BYTE kPrinterId[4] = {0x1A, 0x2B, 0x3C, 0x4D};
constexpr int kPrinterLsap = 3;
constexpr int kIasTimeouts = 2;  // --irda ias-timeout: queries before the answer

struct SocketRecord {
  bool connected = false;
  bool lptMode = false;
  int iasQueries = 0;
  PrintoutJob* printer = nullptr;
};

struct SocketTable {
  std::mutex lock;
  uint32_t next = 1;
  std::map<uint32_t, SocketRecord> sockets;
};

SocketTable& Sockets() {
  static SocketTable* t = new SocketTable;
  return *t;
}

thread_local int tLastError = 0;

IrdaMode Mode() {
  std::lock_guard<std::mutex> lk(Sys().lock);
  return Sys().config.irda;
}

int PduSize() {
  std::lock_guard<std::mutex> lk(Sys().lock);
  return Sys().config.irdaPdu;
}

int Fail(int error) {
  tLastError = error;
  return SOCKET_ERROR;
}

SocketRecord* FindLocked(SOCKET s) {
  auto it = Sockets().sockets.find(static_cast<uint32_t>(s >> 2));
  return it == Sockets().sockets.end() ? nullptr : &it->second;
}

}  // namespace

int WSAStartup(WORD version, WSADATA* data) {
  if (data) {
    *data = WSADATA{};
    data->wVersion = version;
    data->wHighVersion = 0x0101;
    std::snprintf(data->szDescription, sizeof(data->szDescription), "Zelmo infrared sockets");
  }
  return 0;
}

int WSACleanup() { return 0; }
int WSAGetLastError() { return tLastError; }

SOCKET socket(int family, int type, int) {
  if (Mode() == IrdaMode::kNoSocket) {
    tLastError = WSAEAFNOSUPPORT;
    return INVALID_SOCKET;
  }
  if (family != AF_IRDA || type != SOCK_STREAM) {
    tLastError = WSAEAFNOSUPPORT;
    return INVALID_SOCKET;
  }
  std::lock_guard<std::mutex> lk(Sockets().lock);
  uint32_t id = Sockets().next++;
  Sockets().sockets[id] = SocketRecord{};
  return static_cast<SOCKET>(id) << 2;
}

int getsockopt(SOCKET s, int level, int option, char* value, int* length) {
  int iasQueries = 0;
  {
    std::lock_guard<std::mutex> lk(Sockets().lock);
    SocketRecord* r = FindLocked(s);
    if (!r) return Fail(WSAENOTSOCK);
    if (option == IRLMP_IAS_QUERY) iasQueries = ++r->iasQueries;
  }
  if (level != SOL_IRLMP || !value || !length || *length < 0) return Fail(WSAEFAULT);
  IrdaMode mode = Mode();
  switch (option) {
    case IRLMP_ENUMDEVICES: {
      if (*length < 4) return Fail(WSAEFAULT);
      ULONG count = mode == IrdaMode::kNone ? 0 : 1;
      size_t needed = 4 + count * sizeof(IRDA_DEVICE_INFO);
      if (static_cast<size_t>(*length) < needed) return Fail(WSAEFAULT);
      std::memset(value, 0, needed);
      std::memcpy(value, &count, 4);
      if (count) {
        IRDA_DEVICE_INFO info{};
        std::memcpy(info.irdaDeviceID, kPrinterId, 4);
        std::snprintf(info.irdaDeviceName, sizeof(info.irdaDeviceName), "IrDA Printer");
        std::memcpy(value + 4, &info, sizeof(info));
      }
      *length = static_cast<int>(needed);
      return 0;
    }
    case IRLMP_IAS_QUERY: {
      if (static_cast<size_t>(*length) < sizeof(IAS_QUERY)) return Fail(WSAEFAULT);
      IAS_QUERY q;
      std::memcpy(&q, value, sizeof(q));
      q.irdaClassName[sizeof(q.irdaClassName) - 1] = 0;
      q.irdaAttribName[sizeof(q.irdaAttribName) - 1] = 0;
      if (mode == IrdaMode::kNone || std::memcmp(q.irdaDeviceID, kPrinterId, 4) != 0)
        return Fail(WSAETIMEDOUT);
      if (mode == IrdaMode::kIasTimeout && iasQueries <= kIasTimeouts) return Fail(WSAETIMEDOUT);
      bool asked = !std::strcmp(q.irdaClassName, "IrLPT") &&
                   !std::strcmp(q.irdaAttribName, "IrDA:IrLMP:LsapSel");
      if (mode == IrdaMode::kIasNone || !asked) {
        q.irdaAttribType = IAS_ATTRIB_NO_ATTRIB;
      } else if (mode == IrdaMode::kIasString) {
        q.irdaAttribType = IAS_ATTRIB_STR;
        q.irdaAttribute.irdaAttribUsrStr.Len = 1;
        q.irdaAttribute.irdaAttribUsrStr.CharSet = 0;
        q.irdaAttribute.irdaAttribUsrStr.UsrStr[0] = '0' + kPrinterLsap;
      } else {
        q.irdaAttribType = IAS_ATTRIB_INT;
        q.irdaAttribute.irdaAttribInt = kPrinterLsap;
      }
      std::memcpy(value, &q, sizeof(q));
      return 0;
    }
    case IRLMP_SEND_PDU_LEN: {
      if (*length < 4) return Fail(WSAEFAULT);
      int pdu = PduSize();
      if (pdu <= 0) return Fail(WSAENOPROTOOPT);
      std::memcpy(value, &pdu, 4);
      *length = 4;
      return 0;
    }
    default: return Fail(WSAENOPROTOOPT);
  }
}

int setsockopt(SOCKET s, int level, int option, const char*, int) {
  std::lock_guard<std::mutex> lk(Sockets().lock);
  SocketRecord* r = FindLocked(s);
  if (!r) return Fail(WSAENOTSOCK);
  if (level != SOL_IRLMP || option != IRLMP_IRLPT_MODE) return Fail(WSAENOPROTOOPT);
  r->lptMode = true;
  return 0;
}

int connect(SOCKET s, const sockaddr* address, int length) {
  if (!address || length < static_cast<int>(sizeof(SOCKADDR_IRDA))) return Fail(WSAEFAULT);
  SOCKADDR_IRDA a;
  std::memcpy(&a, address, sizeof(a));
  a.irdaServiceName[sizeof(a.irdaServiceName) - 1] = 0;
  IrdaMode mode = Mode();
  std::lock_guard<std::mutex> lk(Sockets().lock);
  SocketRecord* r = FindLocked(s);
  if (!r) return Fail(WSAENOTSOCK);
  char service[32];
  std::snprintf(service, sizeof(service), "LSAP-SEL%d", kPrinterLsap);
  if (mode == IrdaMode::kNone || mode == IrdaMode::kRefuse || a.irdaAddressFamily != AF_IRDA ||
      std::memcmp(a.irdaDeviceID, kPrinterId, 4) != 0 || std::strcmp(a.irdaServiceName, service) != 0)
    return Fail(WSAECONNREFUSED);
  if (!r->connected) r->printer = BeginPrintoutJob("IrDA");
  r->connected = true;
  return 0;
}

int send(SOCKET s, const char* data, int length, int) {
  if (!data || length < 0) return Fail(WSAEFAULT);
  {
    // The job's pages are printed under the table's lock: one sender at a time.
    std::lock_guard<std::mutex> lk(Sockets().lock);
    SocketRecord* r = FindLocked(s);
    if (!r) return Fail(WSAENOTSOCK);
    if (!r->connected) return Fail(WSAENOTCONN);
    FeedPrintoutJob(r->printer, data, static_cast<size_t>(length));
  }
  std::string path = PrintoutPath("IrDA Printer.prn");
  FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) return Fail(WSAENOTCONN);
  size_t n = std::fwrite(data, 1, static_cast<size_t>(length), f);
  std::fclose(f);
  return static_cast<int>(n);
}

int closesocket(SOCKET s) {
  PrintoutJob* printer = nullptr;
  {
    std::lock_guard<std::mutex> lk(Sockets().lock);
    SocketRecord* r = FindLocked(s);
    if (!r) return Fail(WSAENOTSOCK);
    printer = r->printer;
    Sockets().sockets.erase(static_cast<uint32_t>(s >> 2));
  }
  EndPrintoutJob(printer);
  return 0;
}

}  // namespace ce

#include "viewer/dialogs/dialog_common.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "viewer/app/state.h"
#include "viewer/dialogs/dialog_table.h"
#include "viewer/settings/settings.h"

namespace zelmo {

using namespace ce;

namespace {

constexpr unsigned kPathTooLong = 5021;

}  // namespace

intptr_t ShowDialog(const char16_t* resource, DLGPROC proc, LPARAM param) {
  const bool was = gView.dialogOpen;
  gView.dialogOpen = true;
  const intptr_t result = DialogBoxParam(gApp.instance, DialogResource(resource), gApp.mainWindow, proc, param);
  gView.dialogOpen = was;
  return result;
}

void InitFullScreen(HWND dialog, bool done) {
  SHINITDLGINFO info{};
  info.dwMask = SHIDIM_FLAGS;
  info.hDlg = dialog;
  info.dwFlags = SHIDIF_SIZEDLGFULLSCREEN | (done ? SHIDIF_DONEBUTTON | SHIDIF_FULLSCREENNOMENUBAR : 0);
  SHInitDialog(&info);
}

void StartProgramNamed(const char16_t* program, const char16_t* commandLine) {
  PROCESS_INFORMATION info{};
  if (!CreateProcess(program, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &info)) return;
  if (info.hProcess) CloseHandle(info.hProcess);
  if (info.hThread) CloseHandle(info.hThread);
}

void StartHelp(const char16_t* topic) {
  const std::u16string link = u"file:zlv.htm#" + std::u16string(topic);
  StartProgramNamed(u"peghelp.exe", link.c_str());
}

std::u16string Widen(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char c : text) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  return out;
}

std::u16string Format(const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  if (n < 0) return u"";
  return Widen(std::string_view(text, std::min<size_t>(static_cast<size_t>(n), sizeof(text) - 1)));
}

std::u16string ItemText(HWND dialog, int id, int capacity) {
  std::u16string text(static_cast<size_t>(capacity) + 1, u'\0');
  const UINT n = GetDlgItemText(dialog, id, text.data(), capacity + 1);
  text.resize(std::min<size_t>(n, static_cast<size_t>(capacity)));
  return text;
}

bool ItemNumber(HWND dialog, int id, int64_t* value) {
  const std::u16string text = ItemText(dialog, id, 24);
  if (text.empty() || text.size() > 18) return false;
  int64_t n = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return false;
    n = n * 10 + (c - u'0');
  }
  *value = n;
  return true;
}

int ShowText(HWND owner, unsigned textId, const std::u16string& caption, UINT flags) {
  const std::u16string text = LoadText(textId);
  return MessageBox(owner, text.c_str(), caption.c_str(), flags);
}

std::u16string SizeText(uint64_t size) {
  constexpr uint64_t kK = 1024, kM = 1024 * 1024;
  if (size == 0) return u"0";
  if (size < kK) return Format("%uB", static_cast<unsigned>(size));
  if (size < kM)
    return Format("%u.%01uK", static_cast<unsigned>(size / kK), static_cast<unsigned>(size % kK * 10 / kK));
  return Format("%llu.%01lluM", static_cast<unsigned long long>(size / kM),
                static_cast<unsigned long long>(size % kM * 10 / kM));
}

std::u16string DateText(const FILETIME& time) {
  SYSTEMTIME t{};
  if (!FileTimeToSystemTime(&time, &t)) return u"";
  return Format("%04d/%02d/%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

bool JoinPath(std::u16string_view folder, std::u16string_view name, std::u16string* out) {
  const bool separator = folder.empty() || folder.back() != u'\\';
  if (folder.size() + (separator ? 1 : 0) + name.size() > kMaxPathChars) return false;
  std::u16string path(folder);
  if (separator) path += u'\\';
  path += name;
  *out = std::move(path);
  return true;
}

std::u16string FolderOf(std::u16string_view path) {
  const size_t cut = path.rfind(u'\\');
  if (cut == std::u16string_view::npos || cut == 0) return u"\\";
  return std::u16string(path.substr(0, cut));
}

void ReportLongPath(HWND owner, const std::u16string& caption) {
  ShowText(owner, kPathTooLong, caption, MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace zelmo

namespace zelmo {

int32_t EncoderQuality() { return 2 - std::clamp(gSettings.jpegQuality, 0, 2); }

int InsertListItem(HWND list, int at, const std::u16string& text, int icon, LPARAM data) {
  LVITEM it{};
  it.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
  it.iItem = at;
  it.pszText = const_cast<char16_t*>(text.c_str());
  it.iImage = icon;
  it.lParam = data;
  return ListView_InsertItem(list, &it);
}

void SetListCell(HWND list, int item, int column, const std::u16string& text) {
  LVITEM it{};
  it.mask = LVIF_TEXT;
  it.iItem = item;
  it.iSubItem = column;
  it.pszText = const_cast<char16_t*>(text.c_str());
  ListView_SetItem(list, &it);
}

}  // namespace zelmo

// The shared state, string helpers, rectangles, last error and the event log.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <iostream>

#include "imaging/core/files.h"
#include "platform/kernel/internal.h"

namespace ce {

namespace internal {

System& Sys() {
  static System* system = new System;  // never destroyed: see internal.h
  return *system;
}

std::u16string Lower(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& c : out) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    else if (c >= 0xC0 && c <= 0xDE && c != 0xD7) c = static_cast<char16_t>(c + 32);
  }
  return out;
}

std::u16string ToU16(std::string_view s) { return quillon::Utf8ToUtf16(s); }
std::u16string ToU16(const char* s) { return s ? ToU16(std::string_view(s)) : u""; }
std::string ToUtf8(std::u16string_view s) { return quillon::Utf16ToUtf8(s); }
std::u16string FromW(LPCWSTR s) {
  if (!s || IS_INTRESOURCE(s)) return u"";
  return std::u16string(s);
}

namespace {
std::mutex gLogLock;
std::vector<std::string>& LogLines() {
  static auto* lines = new std::vector<std::string>;
  return *lines;
}
}  // namespace

void LogEvent(const std::string& line) {
  bool print;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    print = Sys().config.log;
  }
  std::lock_guard<std::mutex> lk(gLogLock);
  LogLines().push_back(line);
  if (print) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
}

}  // namespace internal

void LogMilestone(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  internal::LogEvent(std::string("milestone ") + text);
}

std::vector<std::string> EventLog() {
  std::lock_guard<std::mutex> lk(internal::gLogLock);
  return internal::LogLines();
}

void ClearEventLog() {
  std::lock_guard<std::mutex> lk(internal::gLogLock);
  internal::LogLines().clear();
}

// ---------------------------------------------------------------------------
// Rectangles

BOOL SetRect(RECT* r, int left, int top, int right, int bottom) {
  if (!r) return FALSE;
  *r = RECT{left, top, right, bottom};
  return TRUE;
}
BOOL SetRectEmpty(RECT* r) { return SetRect(r, 0, 0, 0, 0); }
BOOL IsRectEmpty(const RECT* r) {
  return !r || r->right <= r->left || r->bottom <= r->top;
}
BOOL PtInRect(const RECT* r, POINT p) {
  return r && p.x >= r->left && p.x < r->right && p.y >= r->top && p.y < r->bottom;
}
BOOL OffsetRect(RECT* r, int dx, int dy) {
  if (!r) return FALSE;
  r->left += dx;
  r->right += dx;
  r->top += dy;
  r->bottom += dy;
  return TRUE;
}
BOOL InflateRect(RECT* r, int dx, int dy) {
  if (!r) return FALSE;
  r->left -= dx;
  r->right += dx;
  r->top -= dy;
  r->bottom += dy;
  return TRUE;
}
BOOL IntersectRect(RECT* out, const RECT* a, const RECT* b) {
  if (!out || !a || !b) return FALSE;
  RECT r{std::max(a->left, b->left), std::max(a->top, b->top),
         std::min(a->right, b->right), std::min(a->bottom, b->bottom)};
  if (r.right <= r.left || r.bottom <= r.top) {
    *out = RECT{0, 0, 0, 0};
    return FALSE;
  }
  *out = r;
  return TRUE;
}
BOOL UnionRect(RECT* out, const RECT* a, const RECT* b) {
  if (!out || !a || !b) return FALSE;
  if (IsRectEmpty(a)) {
    *out = IsRectEmpty(b) ? RECT{0, 0, 0, 0} : *b;
  } else if (IsRectEmpty(b)) {
    *out = *a;
  } else {
    *out = RECT{std::min(a->left, b->left), std::min(a->top, b->top),
                std::max(a->right, b->right), std::max(a->bottom, b->bottom)};
  }
  return !IsRectEmpty(out);
}
BOOL EqualRect(const RECT* a, const RECT* b) {
  return a && b && a->left == b->left && a->top == b->top && a->right == b->right &&
         a->bottom == b->bottom;
}

namespace {
thread_local DWORD tLastError = 0;
}
DWORD GetLastError() { return tLastError; }
void SetLastError(DWORD code) { tLastError = code; }

}  // namespace ce

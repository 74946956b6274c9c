// Message boxes: modal on whichever thread asks, drawn by the emulator,
// answerable in advance by tests and scripts, and recorded.
#include <algorithm>
#include <cmath>
#include <deque>

#include "platform/controls/controls.h"
#include "platform/gdi/gdi_internal.h"

namespace ce {

using namespace internal;

namespace {

constexpr int kCaptionHeight = 20;
constexpr int kButtonWidth = 60;
constexpr int kButtonHeight = 22;
constexpr int kIconSize = 32;

struct BoxLog {
  std::mutex lock;
  std::deque<int> answers;
  std::vector<MessageBoxRecord> history;
};

BoxLog& Boxes() {
  static BoxLog* log = new BoxLog;
  return *log;
}

struct BoxData {
  std::u16string caption;
  std::u16string text;
  UINT type;
  RECT textRect;
};

bool HasIcon(UINT type) { return (type & 0xF0) != 0; }

void DrawIcon(HDC dc, int x, int y, UINT type) {
  // A red disc with a white cross for the stop icon; a blue disc with a
  // letter for the others.
  bool stop = (type & 0xF0) == MB_ICONSTOP;
  COLORREF fill = stop ? RGB(200, 0, 0) : (type & 0xF0) == MB_ICONEXCLAMATION ? RGB(230, 180, 0)
                                                                               : RGB(0, 70, 200);
  HBRUSH b = CreateSolidBrush(fill);
  for (int j = 0; j < kIconSize; ++j) {
    double dy = j - (kIconSize - 1) / 2.0;
    int half = static_cast<int>(std::sqrt(std::max(0.0, 15.5 * 15.5 - dy * dy)));
    RECT row{x + kIconSize / 2 - half, y + j, x + kIconSize / 2 + half, y + j + 1};
    FillRect(dc, &row, b);
  }
  DeleteObject(b);
  HPEN white = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
  HGDIOBJ old = SelectObject(dc, white);
  if (stop) {
    for (int k = -1; k <= 1; ++k) {
      POINT a[2] = {{x + 9 + k, y + 9}, {x + 23 + k, y + 23}};
      POINT c[2] = {{x + 22 + k, y + 9}, {x + 8 + k, y + 23}};
      Polyline(dc, a, 2);
      Polyline(dc, c, 2);
    }
  } else {
    RECT r{x, y, x + kIconSize, y + kIconSize};
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    const char16_t* mark = (type & 0xF0) == MB_ICONQUESTION ? u"?" : u"!";
    DrawText(dc, mark, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
  SelectObject(dc, old);
  DeleteObject(white);
}

BOOL BoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* data = reinterpret_cast<BoxData*>(GetWindowLongPtr(hwnd, DWL_USER));
  switch (msg) {
    case WM_INITDIALOG:
      SetWindowLongPtr(hwnd, DWL_USER, lParam);
      return TRUE;
    case WM_PAINT: {
      if (!data) return FALSE;
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT r;
      GetClientRect(hwnd, &r);
      RECT bar{0, 0, r.right, kCaptionHeight};
      HBRUSH navy = CreateSolidBrush(RGB(0, 0, 128));
      FillRect(dc, &bar, navy);
      DeleteObject(navy);
      LOGFONT lf{};
      lf.lfHeight = -12;
      lf.lfWeight = FW_BOLD;
      HFONT bold = CreateFontIndirect(&lf);
      HGDIOBJ old = SelectObject(dc, bold);
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, RGB(255, 255, 255));
      RECT title{4, 0, r.right - 4, kCaptionHeight};
      DrawText(dc, data->caption.c_str(), -1, &title, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
      SelectObject(dc, DialogFont());
      DeleteObject(bold);
      SetTextColor(dc, RGB(0, 0, 0));
      if (HasIcon(data->type)) DrawIcon(dc, 8, kCaptionHeight + 8, data->type);
      RECT text = data->textRect;
      DrawText(dc, data->text.c_str(), -1, &text, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
      SelectObject(dc, old);
      EndPaint(hwnd, &ps);
      return TRUE;
    }
    case WM_COMMAND: {
      int id = LOWORD(wParam);
      UINT kind = data ? data->type & 0xF : MB_OK;
      bool cancelable = kind == MB_OKCANCEL || kind == MB_YESNOCANCEL || kind == MB_OK;
      if (id == IDCANCEL && !cancelable) return TRUE;  // Yes/No boxes need an answer
      if (id == IDCANCEL && kind == MB_OK) id = IDOK;
      if (id == IDOK || id == IDCANCEL || id == IDYES || id == IDNO) EndDialog(hwnd, id);
      return TRUE;
    }
    default: return FALSE;
  }
}

}  // namespace

int MessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  BoxData data{FromW(caption), FromW(text), type, RECT{}};
  if (data.caption.empty()) data.caption = u"Error";
  static const char* const kIcons[] = {"", " icon=stop", " icon=question", " icon=exclamation",
                                       " icon=information"};
  LogEvent("messagebox \"" + ToUtf8(data.caption) + "\" \"" + ToUtf8(data.text) + "\"" +
           kIcons[std::min<UINT>((type & 0xF0) >> 4, 4)]);
  int preset = 0;
  size_t record;
  {
    // Recorded as soon as it shows, so that scripts can see it.
    std::lock_guard<std::mutex> lk(Boxes().lock);
    if (!Boxes().answers.empty()) {
      preset = Boxes().answers.front();
      Boxes().answers.pop_front();
    }
    record = Boxes().history.size();
    Boxes().history.push_back(MessageBoxRecord{data.caption, data.text, type, 0});
  }
  UINT kind = type & 0xF;
  std::vector<std::pair<int, const char16_t*>> buttons;
  switch (kind) {
    case MB_OKCANCEL: buttons = {{IDOK, u"OK"}, {IDCANCEL, u"Cancel"}}; break;
    case MB_YESNO: buttons = {{IDYES, u"Yes"}, {IDNO, u"No"}}; break;
    case MB_YESNOCANCEL: buttons = {{IDYES, u"Yes"}, {IDNO, u"No"}, {IDCANCEL, u"Cancel"}}; break;
    default: buttons = {{IDOK, u"OK"}}; break;
  }
  int answer = preset;
  if (answer) {
    // A preset answer that the box does not offer falls back to its first.
    bool offered = std::any_of(buttons.begin(), buttons.end(), [&](auto& b) { return b.first == answer; });
    if (!offered) answer = buttons.front().first;
  } else {
    const DeviceModel& d = CurrentDevice();
    int width = std::min(d.width - 16, 300);
    int textLeft = HasIcon(type) ? 8 + kIconSize + 8 : 8;
    RECT measure{0, 0, width - textLeft - 8, 0};
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, DialogFont());
    DrawText(dc, data.text.c_str(), -1, &measure, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    int body = std::max<int>(measure.bottom, HasIcon(type) ? kIconSize : 0);
    body = std::min(body, d.height - 26 - kCaptionHeight - kButtonHeight - 40);
    int height = kCaptionHeight + 8 + body + 10 + kButtonHeight + 8;
    data.textRect = RECT{textLeft, kCaptionHeight + 8, width - 8, kCaptionHeight + 8 + body};
    DialogTemplate t;
    t.title = data.caption;
    t.style = WS_POPUP | WS_BORDER;
    t.exStyle = WS_EX_TOPMOST;
    t.cx = width;
    t.cy = height;
    t.x = (d.width - width) / 2;
    t.y = std::max(26, (d.height - height) / 2);
    int total = static_cast<int>(buttons.size()) * kButtonWidth +
                (static_cast<int>(buttons.size()) - 1) * 8;
    int x = (width - 2 - total) / 2;
    for (size_t i = 0; i < buttons.size(); ++i) {
      DialogItem item;
      item.id = buttons[i].first;
      item.className = u"button";
      item.text = buttons[i].second;
      item.x = x + static_cast<int>(i) * (kButtonWidth + 8);
      item.y = height - 2 - 8 - kButtonHeight;
      item.cx = kButtonWidth;
      item.cy = kButtonHeight;
      item.style = WS_VISIBLE | WS_TABSTOP | (i == 0 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
      t.items.push_back(item);
    }
    answer = static_cast<int>(RunModalDialog(t, owner, BoxProc, reinterpret_cast<LPARAM>(&data)));
  }
  std::lock_guard<std::mutex> lk(Boxes().lock);
  if (record < Boxes().history.size()) Boxes().history[record].answer = answer;
  return answer;
}

void QueueMessageBoxAnswer(int answer) {
  std::lock_guard<std::mutex> lk(Boxes().lock);
  Boxes().answers.push_back(answer);
}

std::vector<MessageBoxRecord> MessageBoxHistory() {
  std::lock_guard<std::mutex> lk(Boxes().lock);
  return Boxes().history;
}

namespace internal {
void ResetMessageBoxes() {
  std::lock_guard<std::mutex> lk(Boxes().lock);
  Boxes().answers.clear();
  Boxes().history.clear();
}
}  // namespace internal

}  // namespace ce

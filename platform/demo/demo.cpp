// A small program for the emulator: a window with text, icons from an image
// list, two buttons, a menu bar in the task bar, a tap-and-hold pop-up menu,
// message boxes, a dialog and a sound.  Run it by hand in the SDL window
// (build/platform/zelmo-demo) or headless with --headless --script FILE.
#include <span>
#include <string>

#include "platform/ce.h"
#include "platform/emulator.h"

std::span<const ce::ResourceFile> DemoResources();

using namespace ce;

namespace {

constexpr int kMessageButton = 300;
constexpr int kAboutButton = 301;
constexpr int kAbout = 200;
constexpr int kBeep = 201;
constexpr int kExit = 202;
constexpr int kRed = 210;
constexpr int kBlue = 212;
constexpr int kHello = 220;
constexpr int kChime = 221;

struct Demo {
  HINSTANCE instance = nullptr;
  HMENU bar = nullptr;
  HMENU toolMenu = nullptr;
  HMENU tool = nullptr;
  HIMAGELIST icons = nullptr;
  HFONT bold = nullptr;
  COLORREF colour = RGB(200, 30, 30);
  int marker = 0;
  int moves = 0;  // pen moves since the last pen-down
} gDemo;

std::u16string String(UINT id) {
  WCHAR buf[256];
  LoadString(gDemo.instance, id, buf, 256);
  return buf;
}

BOOL AboutProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM) {
  if (msg == WM_INITDIALOG) return TRUE;
  if (msg == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(dlg, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

void Paint(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT client;
  GetClientRect(hwnd, &client);
  HGDIOBJ oldFont = SelectObject(dc, gDemo.bold);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, gDemo.colour);
  RECT title{0, 8, client.right, 40};
  std::u16string heading = String(100);
  DrawText(dc, heading.c_str(), -1, &title, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  SelectObject(dc, oldFont);
  // The icons of the image list, and a frame measured around a word.
  for (int i = 0; i < ImageList_GetImageCount(gDemo.icons); ++i)
    ImageList_Draw(gDemo.icons, i, dc, 20 + i * 24, 50, ILD_TRANSPARENT);
  SIZE size;
  GetTextExtentPoint32(dc, u"measured", 8, &size);
  SetTextColor(dc, RGB(0, 0, 0));
  RECT word{130, 50, 130 + size.cx, 50 + size.cy};
  DrawText(dc, u"measured", -1, &word, DT_LEFT | DT_SINGLELINE);
  InflateRect(&word, 3, 2);
  HPEN pen = CreatePen(PS_SOLID, 1, gDemo.colour);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  Rectangle(dc, word.left, word.top, word.right, word.bottom);
  // A marker the arrow keys move.
  HBRUSH fill = CreateSolidBrush(gDemo.colour);
  RECT marker{20 + gDemo.marker * 20, 150, 36 + gDemo.marker * 20, 166};
  FillRect(dc, &marker, fill);
  DeleteObject(fill);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(pen);
  EndPaint(hwnd, &ps);
}

void SetColour(HWND hwnd, int command) {
  static const COLORREF kColours[] = {RGB(200, 30, 30), RGB(30, 150, 30), RGB(30, 60, 200)};
  gDemo.colour = kColours[command - kRed];
  CheckMenuRadioItem(gDemo.bar, kRed, kBlue, static_cast<UINT>(command), MF_BYCOMMAND);
  InvalidateRect(hwnd, nullptr, TRUE);
}

void Command(HWND hwnd, int id) {
  switch (id) {
    case kMessageButton:
    case kHello: {
      std::u16string text = String(102);
      MessageBox(hwnd, text.c_str(), u"Demo", MB_OK);
      break;
    }
    case kAboutButton:
    case kAbout: DialogBoxParam(gDemo.instance, u"ABOUT", hwnd, AboutProc, 0); break;
    case kBeep: MessageBeep(0); break;
    case kExit: DestroyWindow(hwnd); break;
    case kChime: {
      std::u16string text = String(103);
      if (MessageBox(hwnd, text.c_str(), u"Sound", MB_YESNO) == IDYES) {
        HRSRC r = FindResource(gDemo.instance, u"CHIME", u"BINDATA");
        if (r) sndPlaySound(LockResource(LoadResource(gDemo.instance, r)), SND_MEMORY | SND_ASYNC);
      }
      break;
    }
    default:
      if (id >= kRed && id <= kBlue) SetColour(hwnd, id);
      break;
  }
}

LRESULT MainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE: {
      CreateWindow(u"button", u"Message box", WS_CHILD | WS_VISIBLE, 10, 200, 110, 26, hwnd,
                   reinterpret_cast<HMENU>(kMessageButton), gDemo.instance, nullptr);
      CreateWindow(u"button", u"About", WS_CHILD | WS_VISIBLE, 130, 200, 100, 26, hwnd,
                   reinterpret_cast<HMENU>(kAboutButton), gDemo.instance, nullptr);
      std::u16string hint = String(101);
      CreateWindow(u"static", hint.c_str(), WS_CHILD | WS_VISIBLE | SS_CENTER, 10, 90, 220, 50, hwnd,
                   nullptr, gDemo.instance, nullptr);
      CeSetMenuBar(hwnd, gDemo.bar);
      SHFullScreen(hwnd, SHFS_HIDESIPBUTTON);
      return 0;
    }
    case WM_PAINT: Paint(hwnd); return 0;
    // What the pen and the buttons did, for scripts to wait for.
    case WM_RBUTTONDOWN:
      LogMilestone("right tap at %d,%d", GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return 0;
    case WM_MOUSEMOVE: ++gDemo.moves; return 0;
    case WM_LBUTTONUP:
      LogMilestone("pen up at %d,%d after %d moves", GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam),
                   gDemo.moves);
      return 0;
    case WM_KEYUP: LogMilestone("key up 0x%02X", static_cast<unsigned>(wParam)); return 0;
    case WM_LBUTTONDOWN: {
      gDemo.moves = 0;
      POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      SHRGINFO info{sizeof(SHRGINFO), hwnd, p, SHRG_RETURNCMD};
      if (SHRecognizeGesture(&info) == GN_CONTEXTMENU) {
        ClientToScreen(hwnd, &p);
        TrackPopupMenu(gDemo.tool, TPM_CENTERALIGN, p.x, p.y, 0, hwnd, nullptr);
      }
      return 0;
    }
    case WM_KEYDOWN:
      LogMilestone("key down 0x%02X%s", static_cast<unsigned>(wParam), (lParam & 0x40000000) ? " again" : "");
      if (wParam == VK_LEFT || wParam == VK_RIGHT) {
        gDemo.marker = (gDemo.marker + (wParam == VK_LEFT ? 9 : 1)) % 10;
        InvalidateRect(hwnd, nullptr, TRUE);
      }
      return 0;
    case WM_COMMAND: Command(hwnd, LOWORD(wParam)); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProc(hwnd, msg, wParam, lParam);
  }
}

int WinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show) {
  gDemo.instance = instance;
  gDemo.bar = LoadMenu(instance, u"DEMO");
  gDemo.toolMenu = LoadMenu(instance, u"TOOL");
  gDemo.tool = GetSubMenu(gDemo.toolMenu, 0);
  gDemo.icons = ImageList_LoadBitmap(instance, u"ICONS", 16, 0, RGB(255, 255, 255));
  LOGFONT lf{};
  lf.lfHeight = -16;
  lf.lfWeight = FW_BOLD;
  gDemo.bold = CreateFontIndirect(&lf);
  WNDCLASS wc{};
  wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = MainProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIcon(instance, MAKEINTRESOURCE(101));
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = u"ZLDEMO";
  RegisterClass(&wc);
  std::u16string title = String(100);
  HWND hwnd = CreateWindow(u"ZLDEMO", title.c_str(), WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
  if (!hwnd) return 0;
  ShowWindow(hwnd, show);
  UpdateWindow(hwnd);
  MSG msg;
  while (GetMessage(&msg, nullptr, 0, 0)) {
    TranslateMessage(&msg);
    DispatchMessage(&msg);
  }
  ImageList_Destroy(gDemo.icons);
  DestroyMenu(gDemo.bar);
  DestroyMenu(gDemo.toolMenu);
  DeleteObject(gDemo.bold);
  return static_cast<int>(msg.wParam);
}

}  // namespace

int main(int argc, char** argv) {
  SetProgramResources(DemoResources());
  return RunEmulator(argc, argv, WinMain, ZELMO_SAMPLES);
}

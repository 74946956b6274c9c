#include "support/scripted.h"

#include <vector>

namespace emu {

using namespace ce;

int RunScripted(WinMainProc program, const std::string& device, const std::string& script,
                const std::string& root) {
  std::string path = script.find('/') == std::string::npos ? std::string(PLATFORM_SCRIPTS) + "/" + script
                                                           : script;
  std::vector<std::string> args = {"program", "--headless", "--clock", "12:00", "--device", device,
                                   "--root", root, "--script", path};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  int status = RunEmulator(static_cast<int>(argv.size()), argv.data(), program, nullptr);
  StopEmulator();
  return status;
}

void Trace::Add(const std::string& line) {
  std::lock_guard<std::mutex> lk(lock_);
  lines_.push_back(line);
}

std::vector<std::string> Trace::Lines() {
  std::lock_guard<std::mutex> lk(lock_);
  return lines_;
}

void Trace::Clear() {
  std::lock_guard<std::mutex> lk(lock_);
  lines_.clear();
}

namespace {

std::string CommandCode(HWND control, WORD code) {
  WCHAR cls[32] = {};
  GetClassName(control, cls, 32);
  std::u16string c = cls;
  if (c == u"edit") {
    switch (code) {
      case EN_SETFOCUS: return "EN_SETFOCUS";
      case EN_KILLFOCUS: return "EN_KILLFOCUS";
      case EN_CHANGE: return "EN_CHANGE";
      default: break;
    }
  } else if (c == u"combobox") {
    if (code == CBN_SELCHANGE) return "CBN_SELCHANGE";
    if (code == CBN_SELENDOK) return "CBN_SELENDOK";
  } else if (code == BN_CLICKED) {
    return "BN_CLICKED";
  }
  return std::to_string(code);
}

const char* ScrollCode(WORD code) {
  static const char* const kNames[] = {"LINEUP", "LINEDOWN", "PAGEUP", "PAGEDOWN", "THUMBPOSITION",
                                       "THUMBTRACK", "TOP", "BOTTOM", "ENDSCROLL"};
  return code < 9 ? kNames[code] : "?";
}

}  // namespace

std::string Describe(HWND, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_COMMAND: {
      auto control = reinterpret_cast<HWND>(lParam);
      return "COMMAND " + std::to_string(LOWORD(wParam)) + " " + CommandCode(control, HIWORD(wParam));
    }
    case WM_NOTIFY: {
      const auto* h = reinterpret_cast<const NMHDR*>(lParam);
      std::string id = std::to_string(h->idFrom);
      switch (h->code) {
        case LVN_ITEMCHANGED: {
          const auto* lv = reinterpret_cast<const NMLISTVIEW*>(lParam);
          return "NOTIFY " + id + " LVN_ITEMCHANGED item=" + std::to_string(lv->iItem) +
                 " new=" + std::to_string(lv->uNewState) + " old=" + std::to_string(lv->uOldState) +
                 " data=" + std::to_string(lv->lParam);
        }
        case NM_CLICK:
        case NM_DBLCLK: {
          const auto* lv = reinterpret_cast<const NMLISTVIEW*>(lParam);
          return "NOTIFY " + id + (h->code == NM_CLICK ? " NM_CLICK" : " NM_DBLCLK") +
                 " item=" + std::to_string(lv->iItem);
        }
        case UDN_DELTAPOS: {
          const auto* ud = reinterpret_cast<const NMUPDOWN*>(lParam);
          return "NOTIFY " + id + " UDN_DELTAPOS pos=" + std::to_string(ud->iPos) +
                 " delta=" + std::to_string(ud->iDelta);
        }
        case PSN_SETACTIVE: return "PSN_SETACTIVE";
        case PSN_KILLACTIVE: return "PSN_KILLACTIVE";
        case PSN_APPLY: return "PSN_APPLY";
        case PSN_RESET: return "PSN_RESET";
        default: return "NOTIFY " + id + " " + std::to_string(static_cast<int>(h->code));
      }
    }
    case WM_HSCROLL:
    case WM_VSCROLL: {
      std::string id = lParam ? std::to_string(GetDlgCtrlID(reinterpret_cast<HWND>(lParam))) : "window";
      return std::string(msg == WM_HSCROLL ? "HSCROLL " : "VSCROLL ") + id + " " +
             ScrollCode(LOWORD(wParam)) + " " + std::to_string(HIWORD(wParam));
    }
    case WM_DRAWITEM: {
      const auto* di = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (di->itemAction != ODA_SELECT) return "";
      return "DRAWITEM " + std::to_string(di->CtlID) +
             ((di->itemState & ODS_SELECTED) ? " selected" : " released");
    }
    default: return "";
  }
}

}  // namespace emu

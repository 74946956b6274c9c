// The emulator's command-line options and their help text.
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "platform/emulator.h"

namespace ce {

namespace {

bool Number(const std::string& s, long lo, long hi, long* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 0);
  if (!end || *end || v < lo || v > hi) return false;
  *out = v;
  return true;
}

}  // namespace

// "240x320x16": a screen the unknown model can have.
bool Screen(const std::string& s, EmulatorConfig* config) {
  int w = 0, h = 0, d = 0;
  char end = 0;
  if (std::sscanf(s.c_str(), "%dx%dx%d%c", &w, &h, &d, &end) != 3) return false;
  if (w < 160 || w > 1024 || h < 160 || h > 1024 || (d != 8 && d != 16)) return false;
  config->screenWidth = w;
  config->screenHeight = h;
  config->screenDepth = d;
  return true;
}

bool ParseEmulatorOptions(int argc, char** argv, EmulatorConfig* config,
                          std::vector<std::string>* rest, std::string* error) {
  bool namedDevice = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value;
    bool inlineValue = false;
    if (arg.rfind("--", 0) == 0) {
      size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        value = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
        inlineValue = true;
      }
    }
    auto need = [&](std::string* out) {
      if (inlineValue) {
        *out = value;
        return true;
      }
      if (i + 1 >= argc) {
        *error = arg + " needs a value";
        return false;
      }
      *out = argv[++i];
      return true;
    };
    long n;
    if (arg == "--device") {
      if (!need(&config->device)) return false;
      namedDevice = true;
      if (!FindDeviceModel(config->device)) {
        *error = "unknown device \"" + config->device + "\" (--list-devices lists them)";
        return false;
      }
    } else if (arg == "--screen") {
      if (!need(&value) || !Screen(value, config)) {
        *error = "--screen takes WIDTHxHEIGHTxDEPTH, 160 to 1024 pixels, 8 or 16 bits (e.g. 320x240x16)";
        return false;
      }
    } else if (arg == "--list-devices") {
      config->listDevices = true;
    } else if (arg == "--root") {
      if (!need(&config->root)) return false;
    } else if (arg == "--read-only") {
      if (!need(&value)) return false;
      config->readOnly.push_back(value);
    } else if (arg == "--headless") {
      config->headless = true;
    } else if (arg == "--script") {
      if (!need(&config->script)) return false;
      config->headless = true;
    } else if (arg == "--zoom") {
      if (!need(&value) || !Number(value, 1, 8, &n)) {
        *error = "--zoom takes 1 to 8";
        return false;
      }
      config->zoom = static_cast<int>(n);
    } else if (arg == "--log") {
      config->log = true;
    } else if (arg == "--hold-key") {
      if (!need(&value) || !Number(value, 1, 255, &n)) {
        *error = "--hold-key takes a key code such as 0xC1";
        return false;
      }
      config->heldKeys.push_back(static_cast<int>(n));
    } else if (arg == "--irda") {
      if (!need(&value)) return false;
      if (value == "printer") config->irda = IrdaMode::kPrinter;
      else if (value == "none") config->irda = IrdaMode::kNone;
      else if (value == "nosocket") config->irda = IrdaMode::kNoSocket;
      else if (value == "ias-none") config->irda = IrdaMode::kIasNone;
      else if (value == "ias-string") config->irda = IrdaMode::kIasString;
      else if (value == "ias-timeout") config->irda = IrdaMode::kIasTimeout;
      else if (value == "refuse") config->irda = IrdaMode::kRefuse;
      else if (value == "pdu") {
        if (!need(&value) || !Number(value, 0, 65535, &n)) {
          *error = "--irda pdu takes a size from 0 (cannot be read) to 65535";
          return false;
        }
        config->irdaPdu = static_cast<int>(n);
      } else {
        *error = "--irda takes printer, none, nosocket, ias-none, ias-string, ias-timeout, refuse or pdu N";
        return false;
      }
    } else if (arg == "--printouts") {
      if (!need(&value)) return false;
      if (value != "png" && value != "pdf" && value != "both" && value != "none") {
        *error = "--printouts takes png, pdf, both or none";
        return false;
      }
      config->printouts = value;
    } else if (arg == "--no-com") {
      if (!need(&value) || !Number(value, 1, 4, &n)) {
        *error = "--no-com takes 1 to 4";
        return false;
      }
      config->missingComPorts.push_back(static_cast<int>(n));
    } else if (arg == "--clipboard-dump") {
      if (!need(&config->clipboardDump)) return false;
    } else if (arg == "--clock") {
      if (!need(&config->clock)) return false;
    } else if (arg == "--help" || arg == "-h") {
      config->help = true;
    } else if (arg.rfind("--", 0) == 0) {
      *error = "unknown option " + arg + " (--help lists them)";
      return false;
    } else {
      rest->push_back(arg);
    }
  }
  if (config->screenWidth > 0) {
    // Known models keep their own screens.
    if (!namedDevice) config->device = "unknown";
    const DeviceModel* model = FindDeviceModel(config->device);
    if (model && model->deviceIndex >= 0) {
      *error = "--screen sets the screen of the unknown model only, not of " + config->device;
      return false;
    }
  }
  return true;
}

std::string EmulatorUsage(const EmulatorConfig& config) {
  std::ostringstream out;
  out << "Options of the handheld emulator:\n"
         "  --device NAME        the emulated model (default ipaq3600; --list-devices)\n"
         "  --screen WxHxD       the unknown model's screen, e.g. 320x240x16 or 240x320x8\n"
         "  --root DIR           the device folder that \\ maps to\n"
         "                       (default $XDG_DATA_HOME/zelmo/device)\n"
         "  --read-only PATH     every write under device folder PATH fails, as on a\n"
         "                       write-protected card (repeatable; e.g. \"\\My Documents\")\n"
         "  --headless           no window; with --script, driven by a script\n"
         "  --script FILE        run a headless script (see below)\n"
         "  --zoom N             scale of the SDL window (default 2)\n"
         "  --log                print message boxes, beeps, program starts, sounds, help\n"
         "                       pages and the program's milestones\n"
         "  --hold-key VK        a key held down at start (e.g. 0xC1)\n"
         "  --irda MODE          printer (default), none, nosocket, ias-none, ias-string,\n"
         "                       ias-timeout or refuse; --irda pdu N: the link's send PDU\n"
         "                       (2048 by default, 0 cannot be read)\n"
         "  --printouts KIND     what the virtual printer leaves in \\Printouts: png, pdf,\n"
         "                       both (default) or none\n"
         "  --no-com N           serial port COMN: is missing\n"
         "  --clipboard-dump F   write the clipboard's bitmap to F as BMP\n"
         "  --clock HH:MM        the time the task bar shows\n"
         "\n"
         "Script lines: tap X Y | down X Y | move X Y | up X Y | hold X Y MS |\n"
         "  key NAME|0xVK | type TEXT | wait MS | idle | shot FILE.png |\n"
         "  answer yes|no|ok|cancel | expect-window CLASS [\"TITLE\"] |\n"
         "  expect-text TEXT | quit      (# starts a comment)\n"
         "  rtap X Y | drag X1 Y1 X2 Y2 MS [STEPS] | keydown KEY | keyup KEY (held keys\n"
         "  repeat while the script waits) | wait-log TEXT [MS] (a --log line)\n"
         "Dialogs and menus: tap-control ID [X Y] | choose ID TEXT | select-row ID TEXT |\n"
         "  tab TITLE | done | menu A/B/C | popup A/B | expect-control ID TEXT |\n"
         "  expect-checked ID 0|1 | expect-enabled ID 0|1 | expect-selected ID TEXT |\n"
         "  expect-file PATH [absent|size N|sha256 HEX] | expect-registry KEY VALUE DATA |\n"
         "  expect-shot FILE.png [TOLERANCE]\n"
         "\n";
  const DeviceModel* model = FindDeviceModel(config.device);
  if (model) {
    out << "Keys of the " << model->oemInfo << ":\n";
    for (const KeyBinding& b : KeyMap(*model)) {
      char line[96];
      std::snprintf(line, sizeof(line), "  %-7s -> 0x%02X %s\n", b.hostKey, b.virtualKey, b.button);
      out << line;
    }
    out << "  mouse    -> the pen (right button: WM_RBUTTONDOWN)\n";
  }
  return out.str();
}

}  // namespace ce

// The SDL presenter: a desktop window showing screen memory scaled up, the
// mouse as the pen, the keyboard as the hardware buttons, and sound.
#include <SDL.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/present/present.h"

extern char** environ;

namespace ce::internal {

namespace {

struct SdlState {
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  SDL_AudioDeviceID audio = 0;
  int audioRate = 0;
  std::mutex audioLock;
  int width = 0;
  int height = 0;
  int zoom = 2;
  std::atomic<uint32_t> warp{0};  // a pointer move asked for: bit 31, x << 15, y
};

SdlState& Sdl() {
  static SdlState* s = new SdlState;
  return *s;
}

void PlaySamples(const uint8_t* samples, size_t count, int rate) {
  SdlState& s = Sdl();
  std::lock_guard<std::mutex> lk(s.audioLock);
  if (s.audio && s.audioRate != rate) {
    SDL_CloseAudioDevice(s.audio);
    s.audio = 0;
  }
  if (!s.audio) {
    SDL_AudioSpec want{}, got{};
    want.freq = rate;
    want.format = AUDIO_U8;
    want.channels = 1;
    want.samples = 1024;
    s.audio = SDL_OpenAudioDevice(nullptr, 0, &want, &got, 0);
    if (!s.audio) return;
    s.audioRate = rate;
  }
  SDL_ClearQueuedAudio(s.audio);
  SDL_QueueAudio(s.audio, samples, static_cast<Uint32>(count));
  SDL_PauseAudioDevice(s.audio, 0);
}

void StopSamples() {
  SdlState& s = Sdl();
  std::lock_guard<std::mutex> lk(s.audioLock);
  if (s.audio) SDL_ClearQueuedAudio(s.audio);
}

// Hands a file to the desktop's opener (or its mail program); false when
// there is none.
bool OpenOnDesktop(const std::string& hostPath, bool mail) {
  std::string tool = mail ? "xdg-email" : "xdg-open";
  std::vector<std::string> args = {tool};
  if (mail) args.push_back("--attach");
  args.push_back(hostPath);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawnp(&pid, tool.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return false;
  // The opener forks its viewer and returns; reap it so it leaves nothing.
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// SetCursorPos: the pointer moves on the presenter's own thread.
void MoveCursor(int x, int y) {
  Sdl().warp = 0x80000000u | (static_cast<uint32_t>(x & 0x7FFF) << 15) | static_cast<uint32_t>(y & 0x7FFF);
}

const PresenterHooks kHooks = {PlaySamples, StopSamples, OpenOnDesktop, MoveCursor};

bool Open(const EmulatorConfig& config, std::string* error) {
  const char* noDisplay =
      "; run with --headless --script FILE, or under xvfb-run";
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    *error = std::string("no display for the emulator's window (") + SDL_GetError() + ")" + noDisplay;
    return false;
  }
  // Without a display SDL falls back to drivers that show nothing; only
  // someone who asked for one by name gets it.
  const char* driver = SDL_GetCurrentVideoDriver();
  bool invisible = driver && (!std::strcmp(driver, "offscreen") || !std::strcmp(driver, "dummy"));
  if (invisible && !std::getenv("SDL_VIDEODRIVER")) {
    SDL_Quit();
    *error = std::string("no display for the emulator's window") + noDisplay;
    return false;
  }
  SDL_InitSubSystem(SDL_INIT_AUDIO);  // no sound is fine
  const DeviceModel* d = ConfiguredModel(config);
  SdlState& s = Sdl();
  s.width = d->width;
  s.height = d->height;
  s.zoom = config.zoom;
  std::string title = std::string("Zelmo - ") + d->oemInfo;
  s.window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                              s.width * s.zoom, s.height * s.zoom, 0);
  if (!s.window) {
    *error = std::string("cannot open the emulator's window: ") + SDL_GetError();
    SDL_Quit();
    return false;
  }
  s.renderer = SDL_CreateRenderer(s.window, -1, 0);
  if (!s.renderer) s.renderer = SDL_CreateRenderer(s.window, -1, SDL_RENDERER_SOFTWARE);
  s.texture = s.renderer ? SDL_CreateTexture(s.renderer, SDL_PIXELFORMAT_RGB888,
                                             SDL_TEXTUREACCESS_STREAMING, s.width, s.height)
                         : nullptr;
  if (!s.texture) {
    *error = std::string("cannot draw in the emulator's window: ") + SDL_GetError();
    SDL_Quit();
    return false;
  }
  SDL_StartTextInput();
  SetPresenterHooks(&kHooks);
  return true;
}

void Present() {
  SdlState& s = Sdl();
  std::vector<uint32_t> pixels = ScreenPixels();
  SDL_UpdateTexture(s.texture, nullptr, pixels.data(), s.width * 4);
  SDL_RenderClear(s.renderer);
  SDL_RenderCopy(s.renderer, s.texture, nullptr, nullptr);
  SDL_RenderPresent(s.renderer);
}

const char* HostKeyName(SDL_Keycode key) {
  switch (key) {
    case SDLK_LEFT: return "Left";
    case SDLK_RIGHT: return "Right";
    case SDLK_UP: return "Up";
    case SDLK_DOWN: return "Down";
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return "Enter";
    case SDLK_ESCAPE: return "Escape";
    case SDLK_SPACE: return "Space";
    case SDLK_TAB: return "Tab";
    case SDLK_F1: return "F1";
    case SDLK_F2: return "F2";
    case SDLK_F3: return "F3";
    case SDLK_F4: return "F4";
    case SDLK_F5: return "F5";
    case SDLK_F6: return "F6";
    case SDLK_F7: return "F7";
    case SDLK_F8: return "F8";
    default: return nullptr;
  }
}

int VirtualKey(const std::vector<KeyBinding>& map, SDL_Keycode key) {
  if (key == SDLK_BACKSPACE) return VK_BACK;
  if (key == SDLK_DELETE) return VK_DELETE;
  if (const char* name = HostKeyName(key)) {
    for (const KeyBinding& b : map) {
      if (!std::strcmp(b.hostKey, name)) return b.virtualKey;
    }
  }
  return -1;
}

int Run(const EmulatorConfig& config, const std::atomic<bool>& ended) {
  SdlState& s = Sdl();
  std::vector<KeyBinding> map = KeyMap(*FindDeviceModel(config.device));
  bool penDown = false;
  Uint32 lastFrame = 0;
  int closing = 0;
  while (!ended) {
    SDL_Event e;
    if (SDL_WaitEventTimeout(&e, 15)) {
      do {
        switch (e.type) {
          case SDL_QUIT:
            // The first close asks the program; a second one gives up on it.
            if (++closing > 1) return 0;
            CloseProgram(ended, 0);
            break;
          case SDL_MOUSEBUTTONDOWN:
          case SDL_MOUSEBUTTONUP: {
            int x = e.button.x / s.zoom, y = e.button.y / s.zoom;
            bool down = e.type == SDL_MOUSEBUTTONDOWN;
            if (e.button.button == SDL_BUTTON_LEFT) {
              penDown = down;
              InjectPen(down ? PenAction::kDown : PenAction::kUp, x, y);
            } else if (e.button.button == SDL_BUTTON_RIGHT) {
              InjectPen(down ? PenAction::kRightDown : PenAction::kRightUp, x, y);
            }
            break;
          }
          case SDL_MOUSEMOTION:
            if (penDown) InjectPen(PenAction::kMove, e.motion.x / s.zoom, e.motion.y / s.zoom);
            break;
          case SDL_KEYDOWN:
          case SDL_KEYUP: {
            int vk = VirtualKey(map, e.key.keysym.sym);
            if (vk > 0) InjectKey(vk, e.type == SDL_KEYDOWN);
            break;
          }
          case SDL_TEXTINPUT: {
            // Space arrives as a key; letters and the like as characters.
            for (char16_t c : ToU16(e.text.text)) {
              if (c != u' ') InjectChar(c);
            }
            break;
          }
          default: break;
        }
      } while (SDL_PollEvent(&e));
    }
    if (uint32_t w = s.warp.exchange(0))
      SDL_WarpMouseInWindow(s.window, static_cast<int>((w >> 15) & 0x7FFF) * s.zoom,
                            static_cast<int>(w & 0x7FFF) * s.zoom);
    Uint32 now = SDL_GetTicks();
    if (now - lastFrame >= 30) {
      Present();
      lastFrame = now;
    }
  }
  return 0;
}

void Close() {
  SdlState& s = Sdl();
  SetPresenterHooks(nullptr);
  {
    std::lock_guard<std::mutex> lk(s.audioLock);
    if (s.audio) SDL_CloseAudioDevice(s.audio);
    s.audio = 0;
  }
  if (s.texture) SDL_DestroyTexture(s.texture);
  if (s.renderer) SDL_DestroyRenderer(s.renderer);
  if (s.window) SDL_DestroyWindow(s.window);
  s.texture = nullptr;
  s.renderer = nullptr;
  s.window = nullptr;
  SDL_Quit();
}

}  // namespace

extern const Presenter kSdlPresenter = {"sdl", Open, Run, Close};

}  // namespace ce::internal

// DrawVideoFrame: a frame centred on the screen, or cropped to it.
#include "viewer/video/video.h"

namespace zelmo {

namespace {

// Along one axis: where the frame goes on a screen `screen` long, the
// first of its pixels shown and how many.
struct Span {
  int to = 0;
  int from = 0;
  int length = 0;
};

Span Place(int frame, int screen) {
  if (frame <= screen) return Span{(screen - frame) / 2, 0, frame};
  return Span{0, (frame - screen) / 2, screen};
}

}  // namespace

void DrawVideoFrame(const ScreenTarget& screen, const quillon::PageRecord& frame, bool turned) {
  if (!screen.memory) return;
  // Turned, the frame is placed on the screen seen a quarter turned.
  const int across = turned ? screen.height : screen.width;
  const int down = turned ? screen.width : screen.height;
  const Span x = Place(frame.width, across), y = Place(frame.height, down);
  if (turned)
    ScreenBlitTurned(screen, frame, x.to, y.to, x.from, y.from, x.length, y.length);
  else
    ScreenBlit(screen, frame, x.to, y.to, x.from, y.from, x.length, y.length);
}

}  // namespace zelmo

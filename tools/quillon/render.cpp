// quillon render: one page, decoded, as an image file people can open.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/pixels/pixels.h"
#include "tools/quillon/pages.h"
#include "tools/quillon/tool.h"

namespace quillon_tool {

namespace {

constexpr const char* kRenderHelp =
    "Usage: quillon render FILE [--page N] --out OUT.{png,ppm,pgm,pbm}\n"
    "                      [--scale PCT | --fit WxH] [--rotate 90|180|270] [--gray]\n"
    "                      [--reduce 2|8] [--thumbnail]\n"
    "\n"
    "Decodes page N (1-based, default 1) at full size and writes it: bilevel\n"
    "pages painted from their runs, palettes expanded, 16-bit pixels widened,\n"
    "every page upright.  A GIF frame is its own rectangle in its own colours.\n"
    "An existing OUT is replaced only once the new picture is complete.\n"
    "\n"
    "  --page N        the page or frame, counted from 1\n"
    "  --out FILE      the output; its extension picks the format\n"
    "  --scale PCT     show the page at PCT percent (1..800)\n"
    "  --fit WxH       the largest view that fits W x H pixels\n"
    "  --rotate DEG    the view turned clockwise by 90, 180 or 270 degrees\n"
    "  --gray          bilevel pages reduced with five gray levels (scale-to-gray)\n"
    "  --reduce 2|8    JPEG pages decoded at half or one-eighth size\n"
    "  --thumbnail     the Exif thumbnail of a JPEG page instead of the image\n";

}  // namespace

bool ParsePositive(const std::string& text, int32_t* value) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  *value = static_cast<int32_t>(std::strtol(text.c_str(), nullptr, 10));
  return *value > 0;
}

int RunRender(const std::vector<std::string>& args) {
  std::string input, output;
  int32_t page = 1;
  int32_t flags = 0;
  int32_t percent = 0, fitWidth = 0, fitHeight = 0;
  quillon::ViewOptions view;
  bool viewWanted = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](const char* option) -> const std::string* {
      if (i + 1 >= args.size()) return nullptr;
      (void)option;
      return &args[++i];
    };
    if (a == "--help" || a == "-h") {
      std::fputs(kRenderHelp, stdout);
      return kExitOk;
    } else if (a == "--page") {
      const std::string* v = value("--page");
      if (!v || !ParsePositive(*v, &page)) return UsageError("render", "--page needs a number from 1");
    } else if (a == "--out" || a == "-o") {
      const std::string* v = value("--out");
      if (!v) return UsageError("render", "--out needs a file name");
      output = *v;
    } else if (a == "--reduce") {
      const std::string* v = value("--reduce");
      if (!v || (*v != "2" && *v != "8")) return UsageError("render", "--reduce takes 2 or 8");
      flags |= *v == "2" ? quillon::kFlagJpegHalf : quillon::kFlagJpegEighth;
    } else if (a == "--scale") {
      const std::string* v = value("--scale");
      if (!v || !ParsePositive(*v, &percent) || quillon::StepForPercent(percent) == 0)
        return UsageError("render", "--scale takes a percentage from 1 to 800");
      viewWanted = true;
    } else if (a == "--fit") {
      const std::string* v = value("--fit");
      size_t x = v ? v->find('x') : std::string::npos;
      if (x == std::string::npos || !ParsePositive(v->substr(0, x), &fitWidth) ||
          !ParsePositive(v->substr(x + 1), &fitHeight))
        return UsageError("render", "--fit takes WIDTHxHEIGHT");
      viewWanted = true;
    } else if (a == "--rotate") {
      const std::string* v = value("--rotate");
      if (!v || (*v != "90" && *v != "180" && *v != "270" && *v != "0"))
        return UsageError("render", "--rotate takes 90, 180 or 270");
      view.rotation = std::atoi(v->c_str());
      viewWanted = true;
    } else if (a == "--gray") {
      view.scaleToGray = true;
      viewWanted = true;
    } else if (a == "--thumbnail") {
      flags |= quillon::kFlagJpegThumbnail;
    } else if (a.size() > 1 && a[0] == '-') {
      return UsageError("render", "unknown option '" + a + "'");
    } else if (input.empty()) {
      input = a;
    } else {
      return UsageError("render", "more than one input file");
    }
  }
  if (input.empty()) return UsageError("render", "no input file");
  if (output.empty()) return UsageError("render", "no output file (--out)");
  if (percent && fitWidth) return UsageError("render", "--scale and --fit exclude each other");

  File file(input);
  if (file.result() != quillon::kOk) {
    ReportOpenError(input, file.result());
    return kExitFailure;
  }
  OwnedPage decoded;
  int32_t r = LoadDisplayPage(file, page - 1, flags, decoded);
  if (r != quillon::kOk) {
    ReportError(input, r);
    return kExitFailure;
  }
  OwnedPage shown;
  const quillon::PageRecord* result = &decoded.record;
  if (viewWanted) {
    if (percent) view.xStep = view.yStep = quillon::StepForPercent(percent);
    if (fitWidth) {
      const bool turned = view.rotation == 90 || view.rotation == 270;
      const quillon::PageRecord& p = decoded.record;
      view.xStep = view.yStep = quillon::StepToFit(turned ? p.height : p.width,
                                                   turned ? p.width : p.height, fitWidth, fitHeight);
    }
    r = quillon::RenderView(&decoded.record, view, &shown.record);
    if (r != quillon::kOk) {
      ReportError(input, r);
      return kExitFailure;
    }
    result = &shown.record;
  }
  std::string error = WritePage(*result, output);
  if (!error.empty()) {
    std::fprintf(stderr, "quillon: %s: %s\n", output.c_str(), error.c_str());
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace quillon_tool

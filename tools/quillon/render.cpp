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
    "                      [--format png|ppm|pgm|pbm]\n"
    "                      [--scale PCT | --fit WxH] [--rotate 90|180|270] [--gray]\n"
    "                      [--reduce 2|8] [--thumbnail]\n"
    "\n"
    "Decodes page N (1-based, default 1) at full size and writes it: bilevel\n"
    "pages painted from their runs, palettes expanded, 16-bit pixels widened,\n"
    "every page upright.  A GIF frame is its own rectangle in its own colours.\n"
    "An existing OUT is replaced only once the new picture is complete.\n"
    "A FILE of '-' is standard input; --out - writes to standard output in the\n"
    "--format given.\n"
    "\n"
    "  --page N        the page or frame, counted from 1\n"
    "  --out FILE      the output; its extension picks the format\n"
    "  --format F      png, ppm, pgm or pbm, whatever the extension\n"
    "  --scale PCT     show the page at PCT percent (1..800)\n"
    "  --fit WxH       the largest view that fits W x H pixels\n"
    "  --rotate DEG    the view turned clockwise by 90, 180 or 270 degrees\n"
    "  --gray          bilevel pages reduced with five gray levels (scale-to-gray)\n"
    "  --reduce 2|8    JPEG pages decoded at half or one-eighth size\n"
    "  --thumbnail     the Exif thumbnail of a JPEG page instead of the image\n";

enum RenderOption { kPage = 0x100, kOut = 'o', kFormat = 0x101, kReduce, kScale, kFit, kRotate, kGray, kThumbnail };

}  // namespace

int RunRender(int argc, char** argv) {
  std::string output;
  char format = 0;
  int32_t page = 1, flags = 0;
  int32_t percent = 0, fitWidth = 0, fitHeight = 0;
  quillon::ViewOptions view;
  bool viewWanted = false;
  std::vector<std::string> inputs;
  const int parsed = ParseOptions(
      kRenderHelp, argc, argv,
      {{"page", true, kPage}, {"out", true, kOut}, {"format", true, kFormat}, {"reduce", true, kReduce},
       {"scale", true, kScale}, {"fit", true, kFit}, {"rotate", true, kRotate}, {"gray", false, kGray},
       {"thumbnail", false, kThumbnail}},
      [&](int code, const std::string& v) -> std::string {
        switch (code) {
          case kPage: return ParsePositive(v, &page) ? "" : "--page needs a number from 1";
          case kOut: output = v; return v.empty() ? "--out needs a file name" : "";
          case kFormat:
            format = PictureFormat(v);
            return format ? "" : "--format takes png, ppm, pgm or pbm";
          case kReduce:
            if (v != "2" && v != "8") return "--reduce takes 2 or 8";
            flags |= v == "2" ? quillon::kFlagJpegHalf : quillon::kFlagJpegEighth;
            return "";
          case kScale:
            viewWanted = true;
            return ParsePositive(v, &percent) && quillon::StepForPercent(percent) != 0
                       ? ""
                       : "--scale takes a percentage from 1 to 800";
          case kFit: {
            viewWanted = true;
            const size_t x = v.find('x');
            return x != std::string::npos && ParsePositive(v.substr(0, x), &fitWidth) &&
                           ParsePositive(v.substr(x + 1), &fitHeight)
                       ? ""
                       : "--fit takes WIDTHxHEIGHT";
          }
          case kRotate:
            viewWanted = true;
            view.rotation = std::atoi(v.c_str());
            return v == "0" || v == "90" || v == "180" || v == "270" ? "" : "--rotate takes 90, 180 or 270";
          case kGray: view.scaleToGray = viewWanted = true; return "";
          default: flags |= quillon::kFlagJpegThumbnail; return "";
        }
      },
      inputs);
  if (parsed != kGoOn) return parsed;
  if (inputs.empty()) return UsageError("render", "no input file");
  if (inputs.size() > 1) return UsageError("render", "more than one input file");
  if (output.empty()) return UsageError("render", "no output file (--out)");
  if (!format) format = PictureFormat(output);
  if (!format)
    return UsageError("render", IsStandardStream(output) ? "--out - needs --format png, ppm, pgm or pbm"
                                                         : "unknown output type (use .png, .ppm, .pgm or .pbm)");
  if (percent && fitWidth) return UsageError("render", "--scale and --fit exclude each other");

  const std::string& input = inputs[0];
  File file(input);
  if (file.result() != quillon::kOk) {
    ReportOpenError(input, file.result(), file.reason());
    return kExitFailure;
  }
  if (page > file.get()->pageCount) {
    ReportMissingPage(input, page, file.get()->pageCount);
    return kExitFailure;
  }
  OwnedPage decoded;
  int32_t r = LoadDisplayPage(file, page - 1, flags, decoded);
  if (r != quillon::kOk) {
    ReportError(Shown(input), r);
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
      ReportError(Shown(input), r);
      return kExitFailure;
    }
    result = &shown.record;
  }
  return WritePage(*result, output, format) ? kExitOk : kExitFailure;
}

}  // namespace quillon_tool

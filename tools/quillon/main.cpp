// quillon: the command-line face of the imaging library.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/page.h"
#include "tools/quillon/pages.h"
#include "tools/quillon/tool.h"

namespace quillon_tool {

void ReportError(const std::string& name, int32_t code) {
  const char* text = quillon::ErrorMessage(code);
  std::fprintf(stderr, "quillon: %s: %s\n", name.c_str(),
               text ? text : "unknown error");
}

void ReportOpenError(const std::string& name, int32_t code) {
  const std::string reason = code == quillon::kErrIo ? OpenFailure(name) : "";
  if (reason.empty()) return ReportError(name, code);
  const char* text = quillon::ErrorMessage(code);
  std::fprintf(stderr, "quillon: %s: %s (%s)\n", name.c_str(), text ? text : "unknown error",
               reason.c_str());
}

int UsageError(const std::string& command, const std::string& message) {
  std::fprintf(stderr, "quillon %s: %s\nTry 'quillon %s --help'.\n",
               command.c_str(), message.c_str(), command.c_str());
  return kExitUsage;
}

}  // namespace quillon_tool

namespace {

constexpr const char* kUsage =
    "Usage: quillon COMMAND [ARGS...]\n"
    "\n"
    "Reads and writes the raster documents of the fax and early-scanner era.\n"
    "\n"
    "Commands:\n"
    "  info FILE...      type, page count, size and page geometry of each file\n"
    "  render FILE --out OUT.{png,ppm,pgm,pbm} [--page N]\n"
    "                    one page decoded at full size\n"
    "  convert IN OUT --type NAME [--page N | --all] [--quality 0|1|2]\n"
    "                    pages saved in another format (--list-types)\n"
    "\n"
    "Run 'quillon COMMAND --help' for a command's options.\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace quillon_tool;
  // A file size limit reached while saving is a write error to report and
  // clean up after, not a reason to die with a partial file behind.
  std::signal(SIGXFSZ, SIG_IGN);
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  std::string command = argv[1];
  std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  if (command == "info") return RunInfo(args);
  if (command == "render") return RunRender(args);
  if (command == "convert") return RunConvert(args);
  std::fprintf(stderr, "quillon: unknown command '%s'\n\n%s", command.c_str(),
               kUsage);
  return kExitUsage;
}

// quillon: the command-line face of the imaging library.
#include <getopt.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/page.h"
#include "imaging/writers/writers.h"
#include "tools/quillon/pages.h"
#include "tools/quillon/tool.h"

namespace quillon_tool {

std::string Shown(const std::string& name) { return IsStandardStream(name) ? "standard input" : name; }

void ReportText(const std::string& name, const std::string& text) {
  std::fflush(stdout);
  std::fprintf(stderr, "quillon: %s: %s\n", name.c_str(), text.c_str());
}

void ReportError(const std::string& name, int32_t code) {
  const char* text = quillon::ErrorMessage(code);
  ReportText(name, text ? text : "unknown error");
}

void ReportOpenError(const std::string& name, int32_t code, const std::string& reason) {
  if (reason.empty()) return ReportError(Shown(name), code);
  ReportText(Shown(name), "cannot open: " + reason);
}

void ReportSaveError(const std::string& name, bool created, int error) {
  ReportText(name, std::string(created ? "cannot write: " : "cannot create: ") + SaveFailure(name, error));
}

void ReportMissingPage(const std::string& name, int32_t page, int32_t count) {
  ReportText(Shown(name), "page " + std::to_string(page) + " not found (the file has " + std::to_string(count) +
                              (count == 1 ? " page)" : " pages)"));
}

int UsageError(const std::string& command, const std::string& message) {
  std::fprintf(stderr, "quillon %s: %s\nTry 'quillon %s --help'.\n", command.c_str(), message.c_str(),
               command.c_str());
  return kExitUsage;
}

bool ParsePositive(const std::string& text, int32_t* value) {
  if (text.empty() || text.size() > 9) return false;
  int32_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *value = v;
  return v > 0;
}

namespace {

void PrintVersion() { std::printf("quillon (%.*s)\n", static_cast<int>(quillon::kLibraryBanner.size()),
                                  quillon::kLibraryBanner.data()); }

}  // namespace

int ParseOptions(const char* help, int argc, char** argv, std::initializer_list<Option> options,
                 const std::function<std::string(int code, const std::string& value)>& take,
                 std::vector<std::string>& operands) {
  const std::string command = argv[0];
  constexpr int kHelp = 'h', kVersion = 0x7FFF;  // past every command's codes
  std::vector<option> table;
  std::string shortOptions = ":h";  // ':' first: a missing value is told apart
  for (const Option& o : options) {
    table.push_back({o.name, o.value ? required_argument : no_argument, nullptr, o.code});
    if (o.code < 0x80) shortOptions += static_cast<char>(o.code) + std::string(o.value ? ":" : "");
  }
  table.push_back({"help", no_argument, nullptr, kHelp});
  table.push_back({"version", no_argument, nullptr, kVersion});
  table.push_back({nullptr, 0, nullptr, 0});
  opterr = 0;
  optind = 0;  // a fresh scan
  for (;;) {
    const int code = getopt_long(argc, argv, shortOptions.c_str(), table.data(), nullptr);
    if (code == -1) break;
    // The word as typed, without a value after '='.
    std::string word = argv[optind - 1];
    if (word.compare(0, 2, "--") == 0) word = word.substr(0, word.find('='));
    if (code == '?') {
      // optopt names a known option given a value it does not take.
      if (optopt && word.compare(0, 2, "--") == 0) return UsageError(command, "option '" + word + "' takes no value");
      const std::string unknown = optopt ? std::string("-") + static_cast<char>(optopt) : word;
      return UsageError(command, "unknown option '" + unknown + "'");
    }
    if (code == ':') return UsageError(command, "option '" + word + "' needs a value");
    if (code == kHelp) {
      std::fputs(help, stdout);
      return kExitOk;
    }
    if (code == kVersion) {
      PrintVersion();
      return kExitOk;
    }
    const std::string problem = take(code, optarg ? optarg : "");
    if (!problem.empty()) return UsageError(command, problem);
  }
  for (int i = optind; i < argc; ++i) operands.push_back(argv[i]);
  return kGoOn;
}

}  // namespace quillon_tool

namespace {

constexpr const char* kUsage =
    "Usage: quillon COMMAND [ARGS...]\n"
    "\n"
    "Reads and writes the raster documents of the fax and early-scanner era.\n"
    "\n"
    "Commands:\n"
    "  info FILE...      type, size and pages (or frames) of each file\n"
    "  render FILE --out OUT.{png,ppm,pgm,pbm} [--page N]\n"
    "                    one page decoded\n"
    "  convert IN OUT [--type NAME] [--page N | --all [--split]]\n"
    "                    pages saved in another format (--list-types)\n"
    "\n"
    "A FILE or IN of '-' is standard input; an OUT of '-' standard output.\n"
    "Run 'quillon COMMAND --help' for a command's options; 'quillon --version'.\n";

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
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  if (command == "--version") {
    PrintVersion();
    return kExitOk;
  }
  if (command == "info") return RunInfo(argc - 1, argv + 1);
  if (command == "render") return RunRender(argc - 1, argv + 1);
  if (command == "convert") return RunConvert(argc - 1, argv + 1);
  std::fprintf(stderr, "quillon: unknown command '%s'\n\n%s", command.c_str(), kUsage);
  return kExitUsage;
}

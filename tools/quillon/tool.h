// Shared pieces of the quillon command-line tool.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace quillon_tool {

// Exit statuses: 0 success, 1 a file or operation failed, 2 usage error.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// ParseOptions: the command goes on.
constexpr int kGoOn = -1;

// The file name that stands for standard input or output.
inline bool IsStandardStream(const std::string& name) { return name == "-"; }

// Each command gets its own name as argv[0] and the words after it.
int RunInfo(int argc, char** argv);
int RunRender(int argc, char** argv);
int RunConvert(int argc, char** argv);

// One option of a command: its long name, whether it takes a value, and
// the code the command's handler receives (a letter for a short form).
struct Option {
  const char* name;
  bool value;
  int code;
};
// Reads a command's words with getopt_long: `--name=value` and `--name
// value`, -h/--help (prints `help`), --version, the operands in order.
// `take(code, value)` returns "" or what is wrong with the value.
// kGoOn, or the exit status to end with.
int ParseOptions(const char* help, int argc, char** argv, std::initializer_list<Option> options,
                 const std::function<std::string(int code, const std::string& value)>& take,
                 std::vector<std::string>& operands);

// A decimal number from 1 up.
bool ParsePositive(const std::string& text, int32_t* value);

// The name a file is reported under ("standard input" for -).
std::string Shown(const std::string& name);
// "quillon: NAME: message" on stderr, with the library's text for `code`.
void ReportError(const std::string& name, int32_t code);
void ReportText(const std::string& name, const std::string& text);
// A file that could not be opened: the system's reason when there is one
// (a missing file, a folder, no permission), else the library's text.
void ReportOpenError(const std::string& name, int32_t code, const std::string& reason);
// "cannot create: REASON" / "cannot write: REASON" for an errno value.
void ReportSaveError(const std::string& name, bool created, int error);
// A page number past the file's pages.
void ReportMissingPage(const std::string& name, int32_t page, int32_t count);
// Usage error: the message and a hint, on stderr.
int UsageError(const std::string& command, const std::string& message);

}  // namespace quillon_tool

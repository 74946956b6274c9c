// Shared pieces of the quillon command-line tool.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillon_tool {

// Exit statuses: 0 success, 1 a file or operation failed, 2 usage error.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int RunInfo(const std::vector<std::string>& args);
int RunRender(const std::vector<std::string>& args);
int RunConvert(const std::vector<std::string>& args);

// A decimal number from 1 up.
bool ParsePositive(const std::string& text, int32_t* value);

// "quillon: NAME: message" on stderr, with the library's text for `code`.
void ReportError(const std::string& name, int32_t code);
// The same for a file that could not be opened, with the system's reason
// when there is one (a missing file, a folder, a FIFO or a device).
void ReportOpenError(const std::string& name, int32_t code);
// Usage error: the message and a hint, on stderr.
int UsageError(const std::string& command, const std::string& message);

}  // namespace quillon_tool

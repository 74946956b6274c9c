// The script commands that drive dialogs, menus and controls and check what
// the program did (files, registry, screenshots, logged milestones).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ce::internal {

struct ScriptContext {
  std::string folder;  // the script's folder: relative pictures are found there
};

// Runs one of the commands when `words[0]` names it: returns false when it
// is none of them, else true with `failure` set when it failed.
bool RunControlCommand(const std::vector<std::string>& words, const std::string& line,
                       ScriptContext& context, std::string* failure);

std::string Sha256Hex(const std::vector<uint8_t>& data);

}  // namespace ce::internal

// Resource internals: the embedded files, the text formats' parsers and PNG
// pictures.  The parsers are exposed so that tests can check every resource.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/controls/controls.h"
#include "platform/emulator.h"

namespace ce::internal {

const ResourceFile* FindResourceFile(const std::string& folder, LPCWSTR name);
const ResourceFile* FindResourceFileByPath(const std::string& path);
// Every file under a folder of the program's resources ("help").
std::vector<ResourceFile> ResourceFilesIn(const std::string& folder);

struct Token {
  bool quoted;
  std::string text;
};
// Words and "quoted strings" (escapes \" \\ \n \t \uXXXX); '#' starts a
// comment.
bool Tokenize(std::string_view line, std::vector<Token>* out, std::string* error);
bool ParseInt(const std::string& s, long long* v);
// "WS_VISIBLE|BS_PUSHBUTTON|0x10".
bool ParseFlags(const std::string& s, DWORD* out, std::string* error);
std::vector<std::string> Lines(const ResourceFile& f);

bool ParseStringTable(const ResourceFile& f, std::map<UINT, std::u16string>* out,
                      std::string* error);
bool ParseMenu(const ResourceFile& f, HMENU* out, std::string* error);
bool ParseDialog(const ResourceFile& f, DialogTemplate* out, std::string* error);

// A decoded PNG: RGB triplets, rows top-down.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;
};
bool DecodePng(const uint8_t* data, size_t size, Picture* out);
HBITMAP PictureToBitmap(const Picture& p);
bool LoadPicture(const std::string& folder, LPCWSTR name, Picture* out);

}  // namespace ce::internal

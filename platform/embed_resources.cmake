# Writes a C++ file that holds the bytes of each resource file and a table
# of them (run by zelmo_add_resources).
string(REPLACE "|" ";" FILES "${FILES}")
set(body "")
set(table "")
set(index 0)
foreach(f IN LISTS FILES)
  file(READ "${FOLDER}/${f}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){32})" "\\1\n" bytes "${bytes}")
  string(APPEND body "const uint8_t kData${index}[] = {\n${bytes}0};\n")
  file(TIMESTAMP "${FOLDER}/${f}" modified "%s" UTC)
  string(APPEND table "    {\"${f}\", kData${index}, ${size}, ${modified}},\n")
  math(EXPR index "${index} + 1")
endforeach()
if(index EQUAL 0)
  set(table "    {\"\", nullptr, 0, 0},\n")
endif()
file(WRITE "${OUT}.new"
"// Generated from ${FOLDER}; do not edit.
#include <span>

#include \"platform/emulator.h\"

namespace {
${body}
const ce::ResourceFile kFiles[] = {
${table}};
}  // namespace

std::span<const ce::ResourceFile> ${FUNCTION}() {
  return std::span<const ce::ResourceFile>(kFiles, ${index});
}
")
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.new")

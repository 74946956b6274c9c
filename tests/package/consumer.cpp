// A program that knows the library only as installed: opens a file and
// prints its first page's size.
#include <cstdio>

#include <quillon.h>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  quillon::ImageFile file{};
  quillon::PageRecord page{};
  int32_t r = quillon::OpenImageFile(quillon::Utf8ToUtf16(argv[1]).c_str(), &file);
  if (r == quillon::kOk) r = quillon::ReadPageGeometry(&file, &page, 0);
  if (r != quillon::kOk) {
    std::fprintf(stderr, "%s: %s\n", argv[1], quillon::ErrorMessage(r));
    return 1;
  }
  std::printf("%d x %d\n", page.width, page.height);
  quillon::FreePage(&page);
  quillon::CloseImageFile(&file);
  return 0;
}

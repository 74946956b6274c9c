#include "support/builders.h"

#include <algorithm>

#include "support/test_util.h"

namespace testutil {

namespace {

struct Writer {
  std::vector<uint8_t> out;
  bool big;
  void U16(size_t at, uint32_t v) { big ? PutBE16(out, at, v) : PutLE16(out, at, v); }
  void U32(size_t at, uint32_t v) { big ? PutBE32(out, at, v) : PutLE32(out, at, v); }
};

uint32_t TypeSize(uint16_t type) {
  switch (type) {
    case 3: return 2;
    case 4: return 4;
    case 5: return 8;
    default: return 1;
  }
}

}  // namespace

std::vector<uint8_t> BuildTiff(const std::vector<TiffDirectory>& directories,
                               bool bigEndian) {
  Writer w{{}, bigEndian};
  w.out = {static_cast<uint8_t>(bigEndian ? 'M' : 'I'),
           static_cast<uint8_t>(bigEndian ? 'M' : 'I')};
  w.U16(2, 42);
  w.U32(4, 0);
  size_t linkAt = 4;  // where the next directory's offset goes
  for (const TiffDirectory& dir : directories) {
    size_t imageAt = w.out.size();
    w.out.insert(w.out.end(), dir.image.begin(), dir.image.end());
    if (w.out.size() % 2) w.out.push_back(0);
    std::vector<TiffField> fields = dir.fields;
    std::sort(fields.begin(), fields.end(),
              [](const TiffField& a, const TiffField& b) { return a.tag < b.tag; });
    for (TiffField& f : fields) {
      if (f.tag == 273 && f.values.empty()) f.values = {static_cast<uint32_t>(imageAt)};
      if (f.tag == 279 && f.values.empty())
        f.values = {static_cast<uint32_t>(dir.image.size())};
    }
    size_t dirAt = w.out.size();
    w.U32(linkAt, static_cast<uint32_t>(dirAt));
    size_t n = fields.size();
    size_t extraAt = dirAt + 2 + 12 * n + 4;
    w.out.resize(extraAt, 0);
    w.U16(dirAt, static_cast<uint32_t>(n));
    for (size_t i = 0; i < n; ++i) {
      const TiffField& f = fields[i];
      size_t e = dirAt + 2 + 12 * i;
      uint32_t count = f.type == 2 ? static_cast<uint32_t>(f.text.size() + 1)
                       : f.type == 5 ? static_cast<uint32_t>(f.values.size() / 2)
                                     : static_cast<uint32_t>(f.values.size());
      w.U16(e, f.tag);
      w.U16(e + 2, f.type);
      w.U32(e + 4, count);
      size_t bytes = static_cast<size_t>(count) * TypeSize(f.type);
      size_t at = e + 8;
      if (bytes > 4) {
        at = w.out.size();
        w.U32(e + 8, static_cast<uint32_t>(at));
        w.out.resize(at + bytes + (bytes % 2), 0);
      }
      if (f.type == 2) {
        PutText(w.out, at, f.text);
      } else {
        for (size_t k = 0; k < f.values.size(); ++k) {
          if (f.type == 3) w.U16(at + 2 * k, f.values[k]);
          else w.U32(at + 4 * k, f.values[k]);
        }
      }
    }
    linkAt = dirAt + 2 + 12 * n;
    w.U32(linkAt, 0);
  }
  return w.out;
}

TiffDirectory BilevelDirectory(uint32_t width, uint32_t height,
                               uint32_t compression,
                               const std::vector<uint8_t>& image) {
  TiffDirectory d;
  d.image = image;
  d.fields = {{256, 4, {width}, {}},       {257, 4, {height}, {}},
              {258, 3, {1}, {}},           {259, 3, {compression}, {}},
              {262, 3, {0}, {}},           {273, 4, {}, {}},
              {278, 4, {height}, {}},      {279, 4, {}, {}},
              {282, 5, {204, 1}, {}},      {283, 5, {196, 1}, {}}};
  return d;
}

}  // namespace testutil

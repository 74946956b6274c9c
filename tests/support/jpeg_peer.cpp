#include "support/jpeg_peer.h"

#include <jpeglib.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include "imaging/core/core.h"
#include "support/test_util.h"

namespace testutil {

namespace {

// libjpeg reports fatal errors through error_exit, which must not return.
struct PeerError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void OnPeerError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<PeerError*>(info->err)->jump, 1);
}

void Quiet(j_common_ptr, int) {}

}  // namespace

Image PeerDecode(const std::vector<uint8_t>& jpeg, int denominator) {
  Image image;
  jpeg_decompress_struct info{};
  PeerError error{};
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = OnPeerError;
  error.manager.emit_message = Quiet;
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&info);
    image.result = -1;
    return image;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&info, TRUE);
  info.dct_method = JDCT_ISLOW;
  info.do_fancy_upsampling = FALSE;
  info.scale_num = 1;
  info.scale_denom = static_cast<unsigned>(denominator);
  if (info.num_components == 1) info.out_color_space = JCS_GRAYSCALE;
  else info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  image.width = static_cast<int>(info.output_width);
  image.height = static_cast<int>(info.output_height);
  image.channels = info.output_components;
  const size_t row = static_cast<size_t>(image.width) * image.channels;
  image.pixels.resize(row * image.height);
  while (info.output_scanline < info.output_height) {
    JSAMPROW line = image.pixels.data() + row * info.output_scanline;
    jpeg_read_scanlines(&info, &line, 1);
  }
  jpeg_finish_decompress(&info);
  image.warnings = static_cast<int>(error.manager.num_warnings);
  jpeg_destroy_decompress(&info);
  image.result = 0;
  return image;
}

Coefficients PeerCoefficients(const std::vector<uint8_t>& jpeg) {
  Coefficients out;
  jpeg_decompress_struct info{};
  PeerError error{};
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = OnPeerError;
  error.manager.emit_message = Quiet;
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&info);
    out = Coefficients{};
    return out;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&info, TRUE);
  jvirt_barray_ptr* arrays = jpeg_read_coefficients(&info);
  out.mcusWide = static_cast<int>(info.MCUs_per_row);
  out.mcusHigh = static_cast<int>(info.MCU_rows_in_scan);
  for (int c = 0; c < info.num_components; ++c) {
    const jpeg_component_info& comp = info.comp_info[c];
    Coefficients::Component component;
    component.identifier = comp.component_id;
    component.horizontal = comp.h_samp_factor;
    component.vertical = comp.v_samp_factor;
    // The arrays hold whole MCUs: the blocks an encoder codes beyond the
    // picture are there too.
    component.blocksWide = out.mcusWide * (info.comps_in_scan > 1 ? comp.h_samp_factor : 1);
    component.blocksHigh = out.mcusHigh * (info.comps_in_scan > 1 ? comp.v_samp_factor : 1);
    if (info.comps_in_scan == 1) {
      component.blocksWide = static_cast<int>(comp.width_in_blocks);
      component.blocksHigh = static_cast<int>(comp.height_in_blocks);
    }
    for (int i = 0; i < 64; ++i) component.quant[i] = comp.quant_table->quantval[i];
    for (int by = 0; by < component.blocksHigh; ++by) {
      JBLOCKARRAY row = info.mem->access_virt_barray(reinterpret_cast<j_common_ptr>(&info), arrays[c],
                                                     static_cast<JDIMENSION>(by), 1, FALSE);
      for (int bx = 0; bx < component.blocksWide; ++bx) {
        std::array<int16_t, 64> block;
        for (int i = 0; i < 64; ++i) block[i] = row[0][bx][i];
        component.blocks.push_back(block);
      }
    }
    out.components.push_back(component);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  out.result = 0;
  return out;
}

Image DcReference(const std::vector<uint8_t>& jpeg) {
  Image image;
  jpeg_decompress_struct info{};
  PeerError error{};
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = OnPeerError;
  error.manager.emit_message = Quiet;
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&info);
    return image;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&info, TRUE);
  jvirt_barray_ptr* arrays = jpeg_read_coefficients(&info);
  const int n = info.num_components;
  const int hMax = info.max_h_samp_factor, vMax = info.max_v_samp_factor;
  image.width = static_cast<int>((info.image_width + 7) / 8);
  image.height = static_cast<int>((info.image_height + 7) / 8);
  image.channels = n == 1 ? 1 : 3;
  // Sample of component c for output pixel (x, y) in luma block units.
  auto sample = [&](int c, int x, int y) {
    const jpeg_component_info& comp = info.comp_info[c];
    const int bx = n == 1 ? x : x * comp.h_samp_factor / hMax;
    const int by = n == 1 ? y : y * comp.v_samp_factor / vMax;
    JBLOCKARRAY rows = info.mem->access_virt_barray(reinterpret_cast<j_common_ptr>(&info),
                                                    arrays[c], static_cast<JDIMENSION>(by), 1, FALSE);
    const double dc = rows[0][bx][0] * comp.quant_table->quantval[0];
    return dc / 8 + 128;
  };
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      if (n == 1) {
        image.pixels.push_back(static_cast<uint8_t>(std::clamp(std::lround(sample(0, x, y)), 0L, 255L)));
        continue;
      }
      const double yy = sample(0, x, y), cb = sample(1, x, y) - 128, cr = sample(2, x, y) - 128;
      double rgb[3] = {yy + 1.402 * cr, yy - 0.344136 * cb - 0.714136 * cr, yy + 1.772 * cb};
      if (info.jpeg_color_space == JCS_RGB) {
        rgb[0] = yy;
        rgb[1] = cb + 128;
        rgb[2] = cr + 128;
      }
      for (double v : rgb) image.pixels.push_back(static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)));
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  image.result = 0;
  return image;
}

Image Halve(const Image& image) {
  Image half;
  half.result = image.result;
  half.width = (image.width + 1) / 2;
  half.height = (image.height + 1) / 2;
  half.channels = image.channels;
  auto at = [&](int x, int y, int c) {
    x = std::min(x, image.width - 1);
    y = std::min(y, image.height - 1);
    return image.pixels[(static_cast<size_t>(y) * image.width + x) * image.channels + c];
  };
  for (int y = 0; y < half.height; ++y)
    for (int x = 0; x < half.width; ++x)
      for (int c = 0; c < image.channels; ++c) {
        const int sum = at(2 * x, 2 * y, c) + at(2 * x + 1, 2 * y, c) + at(2 * x, 2 * y + 1, c) +
                        at(2 * x + 1, 2 * y + 1, c);
        half.pixels.push_back(static_cast<uint8_t>((sum + 2) / 4));
      }
  return half;
}

Image OurDecode(const std::vector<uint8_t>& jpeg, int32_t flags, bool raw16) {
  Image image;
  quillon::PageRecord source{};
  source.data = const_cast<uint8_t*>(jpeg.data());
  source.dataSize = static_cast<uint32_t>(jpeg.size());
  source.dataOwnership = quillon::kOwnedByView;
  source.compression = quillon::kJpeg;
  source.bitsPerPixel = 24;
  Page out;
  out->compression = quillon::kUncompressed;
  image.result = quillon::ConvertPage(&source, out.get(), flags);
  if (image.result != 0) return image;
  const quillon::PageRecord& p = out.record;
  image.width = p.width;
  image.height = p.height;
  image.channels = p.bitsPerPixel == 8 ? 1 : 3;
  if (p.bitsPerPixel == 16 && raw16) image.channels = 2;
  for (int y = 0; y < p.height; ++y) {
    const uint8_t* line = p.data + p.dataOffset + static_cast<size_t>(y) * p.bytesPerLine;
    for (int x = 0; x < p.width; ++x) {
      switch (p.bitsPerPixel) {
        case 8:
          image.pixels.push_back(line[x]);
          break;
        case 24:  // Blue, Green, Red
          image.pixels.insert(image.pixels.end(), {line[3 * x + 2], line[3 * x + 1], line[3 * x]});
          break;
        case 16: {
          const unsigned v = line[2 * x] | (line[2 * x + 1] << 8);
          if (raw16) {
            image.pixels.insert(image.pixels.end(), {line[2 * x], line[2 * x + 1]});
            break;
          }
          const unsigned r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
          image.pixels.insert(image.pixels.end(),
                              {static_cast<uint8_t>(r << 3 | r >> 2),
                               static_cast<uint8_t>(g << 2 | g >> 4),
                               static_cast<uint8_t>(b << 3 | b >> 2)});
          break;
        }
        default:
          break;
      }
    }
  }
  return image;
}

Image PeerTiffDecode(const std::string& path, int channels) {
  Image image;
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (!tif) return image;
  uint32_t w = 0, h = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
  std::vector<uint32_t> rgba(static_cast<size_t>(w) * h);
  if (TIFFReadRGBAImageOriented(tif, w, h, rgba.data(), ORIENTATION_TOPLEFT, 0)) {
    image.result = 0;
    image.width = static_cast<int>(w);
    image.height = static_cast<int>(h);
    image.channels = channels;
    for (uint32_t p : rgba) {
      if (channels == 1) {
        image.pixels.push_back(static_cast<uint8_t>(TIFFGetR(p)));
      } else {
        image.pixels.insert(image.pixels.end(), {static_cast<uint8_t>(TIFFGetR(p)),
                                                 static_cast<uint8_t>(TIFFGetG(p)),
                                                 static_cast<uint8_t>(TIFFGetB(p))});
      }
    }
  }
  TIFFClose(tif);
  return image;
}

std::vector<uint8_t> PeerEncode(const Image& rgb, const EncodeOptions& options) {
  jpeg_compress_struct info{};
  PeerError error{};
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = OnPeerError;
  unsigned char* out = nullptr;
  unsigned long size = 0;
  if (setjmp(error.jump)) {
    jpeg_destroy_compress(&info);
    free(out);
    return {};
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &out, &size);
  info.image_width = static_cast<JDIMENSION>(rgb.width);
  info.image_height = static_cast<JDIMENSION>(rgb.height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, options.quality, TRUE);
  if (options.gray) jpeg_set_colorspace(&info, JCS_GRAYSCALE);
  info.comp_info[0].h_samp_factor = options.horizontal;
  info.comp_info[0].v_samp_factor = options.vertical;
  if (options.progressive) jpeg_simple_progression(&info);
  info.restart_interval = static_cast<unsigned>(options.restartBlocks);
  info.optimize_coding = options.optimize ? TRUE : FALSE;
  if (options.longDcCodes) {
    // Categories 0..2 in two bits, the rest in 13 to 16 bits.
    JHUFF_TBL* table = jpeg_alloc_huff_table(reinterpret_cast<j_common_ptr>(&info));
    const UINT8 counts[17] = {0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 2, 2, 1};
    for (int i = 0; i < 17; ++i) table->bits[i] = counts[i];
    for (int i = 0; i < 12; ++i) table->huffval[i] = static_cast<UINT8>(i);
    info.dc_huff_tbl_ptrs[0] = table;
  }
  std::vector<jpeg_scan_info> script;
  for (const auto& scan : options.grayScans) {
    jpeg_scan_info s{};
    s.comps_in_scan = 1;
    s.Ss = scan[0];
    s.Se = scan[1];
    s.Ah = scan[2];
    s.Al = scan[3];
    script.push_back(s);
  }
  if (!script.empty()) {
    info.scan_info = script.data();
    info.num_scans = static_cast<int>(script.size());
  }
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(&rgb.pixels[static_cast<size_t>(info.next_scanline) * rgb.width * 3]);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<uint8_t> bytes(out, out + size);
  free(out);
  return bytes;
}

Image TestPicture(int width, int height) {
  Image image;
  image.result = 0;
  image.width = width;
  image.height = height;
  image.channels = 3;
  uint32_t seed = 7;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int grain = static_cast<int>(seed >> 28) - 8;
      const bool edge = ((x / 23) + (y / 17)) % 4 == 0;
      const int r = 120 + static_cast<int>(90 * std::sin(x / 19.0 + y / 41.0)) + grain;
      const int g = 110 + static_cast<int>(70 * std::cos(y / 13.0 - x / 57.0)) + grain;
      const int b = edge ? 230 - (x + y) % 40 : 40 + (x * 3 + y) % 90;
      for (int v : {r, g, b}) image.pixels.push_back(static_cast<uint8_t>(std::clamp(v, 0, 255)));
    }
  return image;
}

std::vector<uint8_t> WithoutHuffmanTables(const std::vector<uint8_t>& jpeg) {
  std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
  size_t i = 2;
  while (i + 4 <= jpeg.size()) {
    const int marker = jpeg[i + 1];
    const size_t length = static_cast<size_t>(jpeg[i + 2] << 8 | jpeg[i + 3]);
    if (marker == 0xDA) break;  // the rest as it is
    if (marker != 0xC4) out.insert(out.end(), jpeg.begin() + i, jpeg.begin() + i + 2 + length);
    i += 2 + length;
  }
  out.insert(out.end(), jpeg.begin() + i, jpeg.end());
  return out;
}

double Psnr(const Image& a, const Image& b) {
  if (a.pixels.size() != b.pixels.size() || a.pixels.empty()) return 0;
  double sum = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) {
    const double d = static_cast<double>(a.pixels[i]) - b.pixels[i];
    sum += d * d;
  }
  if (sum == 0) return 99;
  const double mse = sum / static_cast<double>(a.pixels.size());
  return 10 * std::log10(255.0 * 255.0 / mse);
}

int MaxDifference(const Image& a, const Image& b) {
  if (a.pixels.size() != b.pixels.size()) return 256;
  int most = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i)
    most = std::max(most, std::abs(static_cast<int>(a.pixels[i]) - b.pixels[i]));
  return most;
}

std::vector<uint8_t> PackRgb565(const Image& rgb) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 2 < rgb.pixels.size(); i += 3) {
    const unsigned v = ((rgb.pixels[i] & 0xF8u) << 8) | ((rgb.pixels[i + 1] & 0xFCu) << 3) |
                       (rgb.pixels[i + 2] >> 3);
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
  }
  return out;
}

std::vector<uint8_t> JpegFixture(const std::string& name) {
  return ReadFileBytes(DataPath("jpeg/" + name));
}

}  // namespace testutil

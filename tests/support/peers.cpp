#include "support/support.h"

#include <gif_lib.h>
#include <jpeglib.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace testutil {

// --- libtiff ----------------------------------------------------------------

namespace {

struct TiffCloser {
  void operator()(TIFF* t) const { TIFFClose(t); }
};

// libtiff on a file in a folder of its own: `bytes` written there to be
// read, or none, for a file to be written.
struct TiffFile {
  TempDir dir;
  std::unique_ptr<TIFF, TiffCloser> tiff;
  explicit TiffFile(const Bytes* bytes = nullptr) {
    static const bool quiet = (TIFFSetWarningHandler(nullptr), TIFFSetErrorHandler(nullptr), true);
    (void)quiet;
    if (bytes) dir.Write("peer.tif", *bytes);
    tiff.reset(TIFFOpen(dir.Path("peer.tif").c_str(), bytes ? "r" : "w"));
  }
  TIFF* get() const { return tiff.get(); }
  Bytes Written() {
    tiff.reset();
    return ReadFileBytes(dir.Path("peer.tif"));
  }
};

void SetFields(TIFF* t, const TiffSpec& s) {
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(s.width));
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(s.height));
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, s.bitsPerSample);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, s.samples);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, s.photometric);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_COMPRESSION, s.compression);
  TIFFSetField(t, TIFFTAG_FILLORDER, s.lsbFirst ? FILLORDER_LSB2MSB : FILLORDER_MSB2LSB);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(s.rowsPerStrip ? s.rowsPerStrip : s.height));
  if (s.predictor != 1) TIFFSetField(t, TIFFTAG_PREDICTOR, s.predictor);
  if (s.compression == COMPRESSION_CCITTFAX3) TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, s.group3Options);
  if (!s.colourMap.empty()) {
    const auto* map = reinterpret_cast<const uint16_t*>(s.colourMap.data());
    const size_t n = s.colourMap.size() / 6;
    TIFFSetField(t, TIFFTAG_COLORMAP, map, map + n, map + 2 * n);
  }
}

}  // namespace

Bytes TiffEncode(const TiffSpec& spec, const Bytes& rows) {
  TiffFile t;
  SetFields(t.get(), spec);
  const size_t row = (static_cast<size_t>(spec.width) * spec.bitsPerSample * spec.samples + 7) / 8;
  for (int y = 0; y < spec.height; ++y)
    TIFFWriteScanline(t.get(), const_cast<uint8_t*>(rows.data()) + y * row, static_cast<uint32_t>(y), 0);
  return t.Written();
}

Bytes TiffWithStrips(const TiffSpec& spec, const std::vector<Bytes>& strips) {
  TiffFile t;
  SetFields(t.get(), spec);
  for (size_t s = 0; s < strips.size(); ++s)
    TIFFWriteRawStrip(t.get(), static_cast<uint32_t>(s), const_cast<uint8_t*>(strips[s].data()),
                      static_cast<tmsize_t>(strips[s].size()));
  return t.Written();
}

std::vector<Bytes> TiffRawStrips(const Bytes& file) {
  TiffFile t(&file);
  std::vector<Bytes> strips;
  for (uint32_t s = 0; t.get() && s < TIFFNumberOfStrips(t.get()); ++s) {
    Bytes strip(static_cast<size_t>(std::max<tmsize_t>(TIFFRawStripSize(t.get(), s), 0)));
    TIFFReadRawStrip(t.get(), s, strip.data(), static_cast<tmsize_t>(strip.size()));
    strips.push_back(std::move(strip));
  }
  return strips;
}

Raster TiffRgba(const Bytes& file, int directory) {
  TiffFile t(&file);
  Raster out;
  if (!t.get() || !TIFFSetDirectory(t.get(), static_cast<tdir_t>(directory))) return out;
  uint32_t w = 0, h = 0;
  TIFFGetField(t.get(), TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(t.get(), TIFFTAG_IMAGELENGTH, &h);
  std::vector<uint32_t> rgba(static_cast<size_t>(w) * h);
  if (!TIFFReadRGBAImageOriented(t.get(), w, h, rgba.data(), ORIENTATION_TOPLEFT, 0)) return out;
  out = Raster{0, static_cast<int>(w), static_cast<int>(h), 3, 0, {}};
  for (uint32_t p : rgba)
    out.pixels.insert(out.pixels.end(), {static_cast<uint8_t>(TIFFGetR(p)), static_cast<uint8_t>(TIFFGetG(p)),
                                         static_cast<uint8_t>(TIFFGetB(p))});
  return out;
}

std::vector<Bytes> FaxStrips(const Bytes& rows, int width, int height, int compression, int rowsPerStrip,
                             bool lsbFirst) {
  return TiffRawStrips(
      TiffEncode({width, height, 1, 1, PHOTOMETRIC_MINISWHITE, compression, 1, rowsPerStrip, lsbFirst}, rows));
}

Raster FaxPeerDecode(const quillon::PageRecord& page) {
  std::vector<Bytes> strips;
  for (int s = 0; s < std::max(page.stripCount, 1); ++s) {
    const uint8_t* begin = page.stripCount >= 1 ? page.data + page.stripOffsets[s] : page.data + page.dataOffset;
    strips.emplace_back(begin, begin + (page.stripCount >= 1 ? page.stripByteCounts[s] : page.dataSize));
  }
  const int compression = page.compression == quillon::kG4 ? COMPRESSION_CCITTFAX4 : COMPRESSION_CCITTFAX3;
  const int rows = page.stripCount >= 1 ? page.rowsPerStrip : page.height;
  return TiffRgba(TiffWithStrips({page.width, page.height, 1, 1, PHOTOMETRIC_MINISWHITE, compression, 1, rows,
                                  page.fillOrderReversed != 0},
                                 strips));
}

// --- giflib, on files in a folder of their own -----------------------------

std::vector<Raster> GifFrames(const Bytes& file) {
  std::vector<Raster> frames;
  TempDir dir;
  int error = 0;
  GifFileType* gif = DGifOpenFileName(dir.Write("peer.gif", file).c_str(), &error);
  if (!gif) return frames;
  if (DGifSlurp(gif) == GIF_OK)
    for (int i = 0; i < gif->ImageCount; ++i) {
      const SavedImage& image = gif->SavedImages[i];
      const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
      Raster r{0, image.ImageDesc.Width, image.ImageDesc.Height, 3, 0, {}};
      for (int p = 0; p < r.width * r.height; ++p) {
        const int v = image.RasterBits[p];
        const GifColorType c = map && v < map->ColorCount ? map->Colors[v] : GifColorType{0, 0, 0};
        r.pixels.insert(r.pixels.end(), {c.Red, c.Green, c.Blue});
      }
      frames.push_back(std::move(r));
    }
  DGifCloseFile(gif, &error);
  return frames;
}

Bytes GifEncode(const Bytes& indexes, int width, int height, const Bytes& palette, bool interlaced) {
  TempDir dir;
  int error = 0;
  GifFileType* gif = EGifOpenFileName(dir.Path("peer.gif").c_str(), false, &error);
  ColorMapObject* map = GifMakeMapObject(static_cast<int>(palette.size() / 3), nullptr);
  std::memcpy(map->Colors, palette.data(), palette.size());
  EGifPutScreenDesc(gif, width, height, 8, 0, map);
  EGifPutImageDesc(gif, 0, 0, width, height, interlaced, nullptr);
  // An interlaced image takes its lines pass by pass.
  const int passes[4][2] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};
  for (int p = 0; p < (interlaced ? 4 : 1); ++p)
    for (int y = interlaced ? passes[p][0] : 0; y < height; y += interlaced ? passes[p][1] : 1)
      EGifPutLine(gif, const_cast<uint8_t*>(indexes.data()) + static_cast<size_t>(y) * width, width);
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return ReadFileBytes(dir.Path("peer.gif"));
}

// --- libjpeg-turbo ------------------------------------------------------------

namespace {

// libjpeg reports fatal errors through error_exit, which must not return.
struct PeerError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};
void OnPeerError(j_common_ptr info) { std::longjmp(reinterpret_cast<PeerError*>(info->err)->jump, 1); }
void Quiet(j_common_ptr, int) {}

}  // namespace

Raster JpegDecode(const Bytes& jpeg, int denominator) {
  Raster image;
  jpeg_decompress_struct info{};
  PeerError error{};
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = OnPeerError;
  error.manager.emit_message = Quiet;
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&info);
    return Raster{};
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&info, TRUE);
  info.dct_method = JDCT_ISLOW;
  info.do_fancy_upsampling = FALSE;
  info.scale_denom = static_cast<unsigned>(denominator);
  info.out_color_space = info.num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
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

Bytes JpegEncode(const Raster& rgb, const JpegOptions& options) {
  jpeg_compress_struct info{};
  PeerError error{};
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = OnPeerError;
  unsigned char* out = nullptr;
  unsigned long size = 0;
  std::vector<jpeg_scan_info> script;
  if (setjmp(error.jump)) {
    jpeg_destroy_compress(&info);
    free(out);
    return {};
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &out, &size);
  info.image_width = static_cast<JDIMENSION>(rgb.width);
  info.image_height = static_cast<JDIMENSION>(rgb.height);
  info.input_components = rgb.channels;
  info.in_color_space = rgb.channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, options.quality, TRUE);
  if (options.gray) jpeg_set_colorspace(&info, JCS_GRAYSCALE);
  info.comp_info[0].h_samp_factor = options.horizontal;
  info.comp_info[0].v_samp_factor = options.vertical;
  if (options.progressive) jpeg_simple_progression(&info);
  info.optimize_coding = options.optimize ? TRUE : FALSE;
  if (options.longDcCodes) {
    // Categories 0..2 in two bits, the rest in 13 to 16 bits.
    JHUFF_TBL* table = jpeg_alloc_huff_table(reinterpret_cast<j_common_ptr>(&info));
    const UINT8 counts[17] = {0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 2, 2, 1};
    std::copy(counts, counts + 17, table->bits);
    for (int i = 0; i < 12; ++i) table->huffval[i] = static_cast<UINT8>(i);
    info.dc_huff_tbl_ptrs[0] = table;
  }
  for (const auto& scan : options.grayScans) {
    jpeg_scan_info s{};
    s.comps_in_scan = 1;
    s.Ss = scan[0], s.Se = scan[1], s.Ah = scan[2], s.Al = scan[3];
    script.push_back(s);
  }
  if (!script.empty()) {
    info.scan_info = script.data();
    info.num_scans = static_cast<int>(script.size());
  }
  jpeg_start_compress(&info, TRUE);
  const size_t row = static_cast<size_t>(rgb.width) * rgb.channels;
  while (info.next_scanline < info.image_height) {
    JSAMPROW line = const_cast<uint8_t*>(&rgb.pixels[info.next_scanline * row]);
    jpeg_write_scanlines(&info, &line, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  Bytes bytes(out, out + size);
  free(out);
  return bytes;
}

JpegCoefficients JpegReadCoefficients(const Bytes& jpeg) {
  JpegCoefficients out;
  jpeg_decompress_struct info{};
  PeerError error{};
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = OnPeerError;
  error.manager.emit_message = Quiet;
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&info);
    return JpegCoefficients{};
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&info, TRUE);
  jvirt_barray_ptr* arrays = jpeg_read_coefficients(&info);
  out.mcusWide = static_cast<int>(info.MCUs_per_row);
  out.mcusHigh = static_cast<int>(info.MCU_rows_in_scan);
  for (int c = 0; c < info.num_components; ++c) {
    const jpeg_component_info& comp = info.comp_info[c];
    JpegCoefficients::Component component{comp.component_id, comp.h_samp_factor, comp.v_samp_factor, {}, {}};
    // The arrays hold whole MCUs, the blocks coded beyond the picture too.
    const bool interleaved = info.comps_in_scan > 1;
    const int wide = interleaved ? out.mcusWide * comp.h_samp_factor : static_cast<int>(comp.width_in_blocks);
    const int high = interleaved ? out.mcusHigh * comp.v_samp_factor : static_cast<int>(comp.height_in_blocks);
    std::copy(comp.quant_table->quantval, comp.quant_table->quantval + 64, component.quant.begin());
    for (int by = 0; by < high; ++by) {
      JBLOCKARRAY row = info.mem->access_virt_barray(reinterpret_cast<j_common_ptr>(&info), arrays[c],
                                                     static_cast<JDIMENSION>(by), 1, FALSE);
      for (int bx = 0; bx < wide; ++bx) {
        std::array<int16_t, 64> block;
        std::copy(row[0][bx], row[0][bx] + 64, block.begin());
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

size_t FindJpegSegment(const Bytes& jpeg, int marker) {
  for (size_t i = 2; i + 4 <= jpeg.size() && jpeg[i] == 0xFF; i += 2 + (jpeg[i + 2] << 8 | jpeg[i + 3])) {
    if (jpeg[i + 1] == marker) return i;
    if (jpeg[i + 1] == 0xDA) break;
  }
  return 0;
}

Bytes JpegWithSegment(const Bytes& jpeg, int marker, const Bytes& body) {
  const Bytes head = {0xFF, 0xD8, 0xFF, static_cast<uint8_t>(marker), static_cast<uint8_t>((body.size() + 2) >> 8),
                      static_cast<uint8_t>(body.size() + 2)};
  return Concat({head, body, Bytes(jpeg.begin() + 2, jpeg.end())});
}

Raster TestPicture(int width, int height) {
  Raster image{0, width, height, 3, 0, {}};
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

}  // namespace testutil

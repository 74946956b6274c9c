// The virtual printer's printouts: the sheets of each job as one-bit PNG
// files and as one PDF, named "<port>-<NNNN>-<page>.png" and
// "<port>-<NNNN>.pdf" in \Printouts, NNNN counting the jobs of the device
// folder.
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "platform/devices/files_internal.h"
#include "platform/devices/virtual_printer.h"

namespace ce {

using namespace internal;

namespace {

// A sheet row as the files store it: 0 = black.
void PaperRow(const PrintSheet& sheet, int32_t y, uint8_t* out) {
  const uint8_t* in = sheet.bits.data() + static_cast<size_t>(y) * sheet.stride;
  for (uint32_t i = 0; i < sheet.stride; ++i) out[i] = static_cast<uint8_t>(~in[i]);
}

bool Put(PdfPrintout* pdf, const void* data, size_t size) {
  if (pdf->failed) return false;
  if (std::fwrite(data, 1, size, pdf->file) != size) pdf->failed = true;
  pdf->at += size;
  return !pdf->failed;
}

void PutText(PdfPrintout* pdf, const std::string& text) { Put(pdf, text.data(), text.size()); }

void BeginObject(PdfPrintout* pdf, size_t number) {
  if (pdf->offsets.size() <= number) pdf->offsets.resize(number + 1, 0);
  pdf->offsets[number] = pdf->at;
  PutText(pdf, std::to_string(number) + " 0 obj\n");
}

// The sheet's rows, Flate-compressed; empty when zlib fails.
std::vector<uint8_t> DeflateSheet(const PrintSheet& sheet) {
  std::vector<uint8_t> out;
  z_stream z{};
  if (deflateInit(&z, Z_DEFAULT_COMPRESSION) != Z_OK) return out;
  std::vector<uint8_t> row(sheet.stride);
  uint8_t buffer[16384];
  bool ok = true;
  for (int32_t y = 0; y <= sheet.height && ok; ++y) {
    const bool last = y == sheet.height;
    if (!last) PaperRow(sheet, y, row.data());
    z.next_in = last ? nullptr : row.data();
    z.avail_in = last ? 0 : sheet.stride;
    int status;
    do {
      z.next_out = buffer;
      z.avail_out = sizeof(buffer);
      status = deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
      if (status == Z_STREAM_ERROR) ok = false;
      out.insert(out.end(), buffer, buffer + (sizeof(buffer) - z.avail_out));
    } while (ok && (z.avail_out == 0 || (last && status != Z_STREAM_END)));
  }
  deflateEnd(&z);
  if (!ok) out.clear();
  return out;
}

enum class Printouts { kPng = 1, kPdf = 2, kBoth = 3, kNone = 0 };

std::mutex gJobLock;
int gLastJob = 0;

// The next job number of the device folder: after every number its
// printouts hold and every number handed out in this run.
int NextJobNumber() {
  std::lock_guard<std::mutex> lk(gJobLock);
  int highest = gLastJob;
  std::error_code ec;
  const std::string folder = PrintoutPath("");
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    const size_t dash = name.find('-');
    if (dash == std::string::npos || name.size() < dash + 5) continue;
    int n = 0;
    bool digits = true;
    for (size_t i = dash + 1; i < dash + 5; ++i) {
      if (name[i] < '0' || name[i] > '9') digits = false;
      else n = n * 10 + (name[i] - '0');
    }
    if (digits) highest = std::max(highest, n);
  }
  gLastJob = highest + 1;
  return gLastJob;
}

}  // namespace

bool WriteSheetPng(const std::string& path, const PrintSheet& sheet) {
  if (sheet.width <= 0 || sheet.height <= 0) return false;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<uint8_t> row(sheet.stride);
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(sheet.width), static_cast<png_uint_32>(sheet.height), 1,
               PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  const png_uint_32 dpm = static_cast<png_uint_32>(sheet.dpi * 10000 / 254);
  png_set_pHYs(png, info, dpm, dpm, PNG_RESOLUTION_METER);
  png_write_info(png, info);
  for (int32_t y = 0; y < sheet.height; ++y) {
    PaperRow(sheet, y, row.data());
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

bool OpenPdfPrintout(PdfPrintout* pdf, const std::string& path) {
  *pdf = PdfPrintout{};
  pdf->file = std::fopen(path.c_str(), "wb");
  if (!pdf->file) return false;
  PutText(pdf, "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
  return !pdf->failed;
}

void AddPdfPage(PdfPrintout* pdf, const PrintSheet& sheet) {
  if (!pdf->file || sheet.width <= 0) return;
  const std::vector<uint8_t> image = DeflateSheet(sheet);
  if (image.empty()) {
    pdf->failed = true;
    return;
  }
  const size_t base = 3 + 3 * static_cast<size_t>(pdf->pages);
  BeginObject(pdf, base);
  PutText(pdf, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents " + std::to_string(base + 1) +
                   " 0 R /Resources << /XObject << /Im0 " + std::to_string(base + 2) + " 0 R >> >> >>\nendobj\n");
  const std::string content = "q 612 0 0 792 0 0 cm /Im0 Do Q\n";
  BeginObject(pdf, base + 1);
  PutText(pdf, "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream\nendobj\n");
  BeginObject(pdf, base + 2);
  PutText(pdf, "<< /Type /XObject /Subtype /Image /Width " + std::to_string(sheet.width) + " /Height " +
                   std::to_string(sheet.height) +
                   " /ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /FlateDecode /Length " +
                   std::to_string(image.size()) + " >>\nstream\n");
  Put(pdf, image.data(), image.size());
  PutText(pdf, "\nendstream\nendobj\n");
  ++pdf->pages;
}

bool ClosePdfPrintout(PdfPrintout* pdf) {
  if (!pdf->file) return false;
  std::string kids;
  for (int i = 0; i < pdf->pages; ++i) kids += std::to_string(3 + 3 * i) + " 0 R ";
  BeginObject(pdf, 2);
  PutText(pdf, "<< /Type /Pages /Kids [ " + kids + "] /Count " + std::to_string(pdf->pages) + " >>\nendobj\n");
  BeginObject(pdf, 1);
  PutText(pdf, "<< /Type /Catalog /Pages 2 0 R >>\nendobj\n");
  const uint64_t xref = pdf->at;
  PutText(pdf, "xref\n0 " + std::to_string(pdf->offsets.size()) + "\n0000000000 65535 f \n");
  for (size_t i = 1; i < pdf->offsets.size(); ++i) {
    char entry[24];
    std::snprintf(entry, sizeof(entry), "%010llu 00000 n \n", static_cast<unsigned long long>(pdf->offsets[i]));
    Put(pdf, entry, 20);
  }
  PutText(pdf, "trailer\n<< /Size " + std::to_string(pdf->offsets.size()) + " /Root 1 0 R >>\nstartxref\n" +
                   std::to_string(xref) + "\n%%EOF\n");
  const bool ok = !pdf->failed && std::fclose(pdf->file) == 0;
  if (pdf->failed) std::fclose(pdf->file);
  pdf->file = nullptr;
  return ok;
}

struct PrintoutJob {
  std::string port;
  Printouts kind = Printouts::kBoth;
  int number = 0;  // 0 until the first page
  int pages = 0;
  PclReader reader;
  PdfPrintout pdf;
  std::string pdfPath;
  std::vector<std::string> pngPaths;
};

namespace {

std::string JobName(const PrintoutJob& job) {
  char name[48];
  std::snprintf(name, sizeof(name), "%s-%04d", job.port.c_str(), job.number);
  return name;
}

void PrintPage(PrintoutJob* job, const PrintSheet& sheet) {
  if (!job->number) {
    job->number = NextJobNumber();
    if (static_cast<int>(job->kind) & static_cast<int>(Printouts::kPdf)) {
      job->pdfPath = PrintoutPath(JobName(*job) + ".pdf");
      if (!OpenPdfPrintout(&job->pdf, job->pdfPath))
        std::fprintf(stderr, "printer: cannot write %s\n", job->pdfPath.c_str());
    }
  }
  ++job->pages;
  if (static_cast<int>(job->kind) & static_cast<int>(Printouts::kPng)) {
    std::string path = PrintoutPath(JobName(*job) + "-" + std::to_string(job->pages) + ".png");
    if (WriteSheetPng(path, sheet)) job->pngPaths.push_back(path);
    else std::fprintf(stderr, "printer: cannot write %s\n", path.c_str());
  }
  AddPdfPage(&job->pdf, sheet);
  char line[200];
  std::snprintf(line, sizeof(line), "printer %s job %d page %d: %d x %d dots at %d dpi%s", job->port.c_str(),
                job->number, job->pages, sheet.rasterWidth, sheet.rasterRows, sheet.dpi,
                sheet.clipped ? ", clipped to the printable area" : "");
  LogEvent(line);
}

}  // namespace

PrintoutJob* BeginPrintoutJob(const char* port) {
  std::string mode;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    mode = Sys().config.printouts;
  }
  Printouts kind = mode == "png" ? Printouts::kPng : mode == "pdf" ? Printouts::kPdf
                 : mode == "none" ? Printouts::kNone : Printouts::kBoth;
  if (kind == Printouts::kNone) return nullptr;
  auto* job = new PrintoutJob;
  job->port = port;
  job->kind = kind;
  return job;
}

void FeedPrintoutJob(PrintoutJob* job, const void* data, size_t size) {
  if (!job || !data) return;
  FeedPcl(&job->reader, static_cast<const uint8_t*>(data), size,
          [job](const PrintSheet& sheet) { PrintPage(job, sheet); });
}

void EndPrintoutJob(PrintoutJob* job) {
  if (!job) return;
  const uint64_t skipped = job->reader.skippedRows;
  EndPcl(&job->reader, [job](const PrintSheet& sheet) { PrintPage(job, sheet); });
  if (skipped)
    std::fprintf(stderr, "printer: %s: %llu rows in a compression method other than 0 or 2 skipped\n",
                 job->port.c_str(), static_cast<unsigned long long>(skipped));
  if (job->pdf.file && !ClosePdfPrintout(&job->pdf))
    std::fprintf(stderr, "printer: cannot write %s\n", job->pdfPath.c_str());
  if (job->pages) {
    if (!job->pdfPath.empty()) {
      std::printf("Printout: %s\n", job->pdfPath.c_str());
    } else {
      for (const std::string& p : job->pngPaths) std::printf("Printout: %s\n", p.c_str());
    }
    std::fflush(stdout);
  }
  delete job;
}

}  // namespace ce

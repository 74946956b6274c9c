// Printing: the page scaling, the bytes of a page on the wire, and the
// `zelmo` program printing headless to the emulated infrared printer and
// serial ports, whose virtual printer leaves the sheets in \Printouts.
#include <filesystem>
#include <fstream>

#include "imaging/codecs/codecs.h"
#include "imaging/core/core.h"
#include "imaging/core/files.h"
#include "imaging/pixels/pixels.h"
#include "platform/devices/virtual_printer.h"
#include "support/viewer.h"
#include "viewer/print/print.h"

namespace {

using Bytes = std::vector<uint8_t>;
using quillon::PageRecord;

// A page record released at the end of its scope.
struct Page {
  PageRecord r{};
  ~Page() { quillon::FreePage(&r); }
};

void Append(Bytes* b, const std::string& text) { b->insert(b->end(), text.begin(), text.end()); }

TEST(PrintScaling, FitsActualSizeAndOneToOne) {
  // A fax page of half vertical resolution fitted at 300 dpi: sx 355, sy 733
  // halved to 366, s 355; 2396 x 1525, the lines doubled to 3050.
  zelmo::PrintSize s = zelmo::ComputePrintSize(1728, 1100, 204, 98, zelmo::kFitToPage, 2);
  EXPECT_EQ(s.width, 2396);
  EXPECT_EQ(s.height, 3050);
  for (int row = 0; row < zelmo::kPrintResolutionCount; ++row) {
    s = zelmo::ComputePrintSize(1000, 500, 200, 100, zelmo::kActualSize, row);
    EXPECT_TRUE(s.scaled);
    EXPECT_EQ(s.width, zelmo::kPrintResolutions[row].dpi * 5);
    EXPECT_EQ(s.height, zelmo::kPrintResolutions[row].dpi * 5);
  }
  // Resolution 0 printed "Actual Size", and "One to One": sent as they are.
  for (auto [x, y, method] : {std::tuple{0, 0, 1}, {200, 0, 1}, {200, 100, 2}})
    EXPECT_FALSE(zelmo::ComputePrintSize(1000, 500, x, y, method, 6).scaled);
}

// The sends of one page of `size` bytes and the percentages shown.
struct Wire {
  std::vector<Bytes> sends;
  std::vector<int> shown;
};
Wire SendPage(uint32_t size, uint32_t chunk, int abortAfter) {
  Wire w;
  Bytes data(size, 0x55);
  zelmo::SendPrintPage(
      data.data(), size, 300, chunk, [&](const uint8_t* p, uint32_t n) { w.sends.emplace_back(p, p + n); },
      [&] { return abortAfter >= 0 && static_cast<int>(w.shown.size()) >= abortAfter; },
      [&](int percent) { w.shown.push_back(percent); });
  return w;
}

TEST(PrintWire, OnePageInChunksWithItsHeaderAndTrailer) {
  Wire w = SendPage(5000, 2048, -1);
  ASSERT_EQ(w.sends.size(), 5u);
  EXPECT_EQ(w.sends[0], (Bytes{0x1B, 0x45, 0x1B, 0x2A, 0x74, '3', '0', '0', 0x52}));
  EXPECT_EQ(w.sends[1].size(), 2048u);
  EXPECT_EQ(w.sends[2].size(), 2048u);
  EXPECT_EQ(w.sends[3].size(), 904u);
  EXPECT_EQ(w.sends[4], (Bytes{0x0C, 0x1B, 0x45}));
  EXPECT_EQ(w.shown, (std::vector<int>{40, 81, 100}));
  // A PDU that cannot be read leaves 256-byte chunks.
  EXPECT_EQ(SendPage(1000, 256, -1).shown, (std::vector<int>{25, 51, 76, 100}));
  // Cancel after the first chunk: the rest in one piece, then the trailer.
  w = SendPage(5000, 2048, 1);
  ASSERT_EQ(w.sends.size(), 4u);
  EXPECT_EQ(w.sends[2].size(), 2952u);
  EXPECT_EQ(w.sends[3], (Bytes{0x0C, 0x1B, 0x45}));
  EXPECT_EQ(w.shown, (std::vector<int>{40, 100}));
}

class PrintProgram : public vt::ViewerTest {
 protected:
  // Runs `script` on the default model with `file` open; the output.
  vt::Outcome Run(const std::string& options, const std::string& file, const std::string& script) {
    const std::string path = folder_.path() + "/print.txt";
    const std::string name = std::filesystem::path(file).filename().string();
    std::ofstream(path) << "wait-log opened " << name << " page 1\n" << script << "quit\n";
    vt::Outcome o = vt::RunZelmo("--headless --log --clock 12:00 --root '" + Root() + "' " + options + " --script '" +
                                 path + "' '" + (file.find('/') == std::string::npos ? data_ : "") + file + "'");
    EXPECT_EQ(o.status, 0) << o.output;
    return o;
  }
  std::string Printout(const std::string& name) { return Root() + "/Printouts/" + name; }
  const std::string data_ = std::string(ZELMO_TEST_DATA) + "/print/";
};

// Page `index` of the fixture as run lists, resized unless `width` is 0.
void FixturePage(const std::string& path, int index, int width, int height, Page* out) {
  quillon::ImageFile file{};
  ASSERT_EQ(quillon::OpenImageFile(quillon::Utf8ToUtf16(path).c_str(), &file), quillon::kOk);
  Page extracted, runs;
  ASSERT_EQ(quillon::ExtractPage(&file, &extracted.r, index), quillon::kOk);
  runs.r.compression = quillon::kRunLists;
  ASSERT_EQ(quillon::ConvertPage(&extracted.r, &runs.r, 0), quillon::kOk);
  quillon::CloseImageFile(&file);
  if (width) {
    ASSERT_EQ(quillon::ResizePage(&runs.r, &out->r, width, height), quillon::kOk);
  } else {
    std::swap(out->r, runs.r);
  }
}

// The bytes of one page on the wire.
Bytes WirePage(Page* runs, int dpi) {
  Page pcl;
  EXPECT_EQ(quillon::EncodePclRaster(&runs->r, &pcl.r), quillon::kOk);
  Bytes wire;
  Append(&wire, "\x1B" "E\x1B*t" + std::to_string(dpi) + "R");
  wire.insert(wire.end(), pcl.r.data, pcl.r.data + pcl.r.dataSize);
  Append(&wire, "\x0C\x1B" "E");
  return wire;
}

// The sheets the virtual printer makes of `stream` (its placement of the
// raster is tested on its own).
std::vector<ce::PrintSheet> Sheets(const uint8_t* stream, size_t size) {
  std::vector<ce::PrintSheet> sheets;
  ce::PclReader reader;
  ce::FeedPcl(&reader, stream, size, [&](const ce::PrintSheet& s) { sheets.push_back(s); });
  ce::EndPcl(&reader, [&](const ce::PrintSheet& s) { sheets.push_back(s); });
  return sheets;
}
bool Black(const ce::PrintSheet& s, int x, int y) { return s.bits[y * s.stride + x / 8] & (0x80 >> (x % 8)); }

// The printout is the sheet of `page`: a US Letter sheet at 300 dpi.
void ExpectSheet(const std::string& png, const Bytes& page) {
  const std::vector<ce::PrintSheet> sheets = Sheets(page.data(), page.size());
  emu::Png got;
  ASSERT_EQ(sheets.size(), 1u);
  ASSERT_TRUE(emu::ReadPng(png, &got)) << png;
  ASSERT_EQ(got.width, 2550);
  ASSERT_EQ(got.height, 3300);
  size_t wrong = 0;
  for (int y = 0; y < got.height; ++y)
    for (int x = 0; x < got.width; ++x) wrong += (got.at(x, y) == 0) != Black(sheets[0], x, y);
  EXPECT_EQ(wrong, 0u) << png;
}

TEST(PrintScaling, LandscapeTurnsThePageBeforeScaling) {
  // The memo's 1728 x 1100 at 204 x 98 turned: 1100 x 1728 at 98 x 204,
  // fitted with s = min(256 * 2400 / 1100, 256 * 3150 / 1728) = 466.
  Page runs, pcl;
  FixturePage(std::string(ZELMO_TEST_DATA) + "/print/memo-g4-2page.tif", 0, 0, 0, &runs);
  zelmo::PrintRequest request;
  request.orientation = 1;
  ASSERT_EQ(zelmo::PreparePrintPage(&runs.r, request, &pcl.r), quillon::kOk);
  runs.r = PageRecord{};  // consumed
  const std::vector<ce::PrintSheet> sheets = Sheets(pcl.r.data, pcl.r.dataSize);
  ASSERT_EQ(sheets.size(), 1u);
  EXPECT_EQ(sheets[0].rasterRows, 3145);
  EXPECT_EQ(sheets[0].rasterWidth, 2008);  // 2002 dots in whole bytes
  // Turned to the right, the memo's text (near its top) stands on the right
  // and its blank foot on the left.
  size_t left = 0, right = 0;
  for (int y = 0; y < 3145; ++y)
    for (int x = 0; x < 2002; ++x) (x < 800 ? left : right) += Black(sheets[0], 75 + x, 75 + y);
  EXPECT_EQ(left, 0u);
  EXPECT_GT(right, 1000u);
}

TEST_F(PrintProgram, TwoFaxPagesOverInfraredThenOneToOneOnCom2) {
  const std::string fax = "memo-g4-2page.tif";
  vt::Outcome o = Run("", fax,
                      "menu File/Print...\nexpect-checked 1020 1\nexpect-selected 1010 300 dpi\nexpect-selected 1011 "
                      "IRDA\nexpect-checked 1023 1\nexpect-checked 1026 1\ntap-control 1\nwait-log print job ended\n"
                      // The main window takes input again.
                      "menu File/Print...\nexpect-window #32770 \"Print\"\ntap-control 2\n");
  EXPECT_NE(o.output.find("printer IrDA job 1 page 2: 2400 x 3050 dots at 300 dpi"), std::string::npos) << o.output;
  EXPECT_NE(o.output.find("Printout: " + Printout("IrDA-0001.pdf")), std::string::npos) << o.output;
  Bytes wire;
  for (int index = 0; index < 2; ++index) {
    Page scaled;
    FixturePage(data_ + fax, index, 2396, 3050, &scaled);
    const Bytes page = WirePage(&scaled, 300);
    wire.insert(wire.end(), page.begin(), page.end());
    ExpectSheet(Printout("IrDA-0001-" + std::to_string(index + 1) + ".png"), page);
  }
  EXPECT_TRUE(vt::ReadFile(Printout("IrDA Printer.prn")) == wire);
  const Bytes pdf = vt::ReadFile(Printout("IrDA-0001.pdf"));
  EXPECT_NE(std::string(pdf.begin(), pdf.end()).find("/Count 2 >>"), std::string::npos);

  Run("", fax, "menu File/Print...\nchoose 1011 COM2\ntap-control 1025\ntap-control 1021\ntap-control 1\n"
               "wait-log print job ended\n");
  Page first;
  FixturePage(data_ + fax, 0, 0, 0, &first);
  wire = WirePage(&first, 300);
  EXPECT_TRUE(vt::ReadFile(Printout("COM2.prn")) == wire);
  ExpectSheet(Printout("COM2-0002-1.png"), wire);
  EXPECT_FALSE(vt::Exists(Printout("COM2-0002-2.png")));
}

TEST_F(PrintProgram, ConnectionFailuresTellWhatWentWrong) {
  const std::string fax = "memo-g4-2page.tif";
  const std::string print = "answer ok\nmenu File/Print...\n";
  struct Case {
    std::string options, script, message;
    bool dialogKept;
  };
  const Case cases[] = {
      {"--no-com 3", "choose 1011 COM3\ntap-control 1\n", "\"Oops!\" \"Unable to open COM3:\"", false},
      {"--irda none", "tap-control 1\n", "\"Oops!\" \"Sorry, no IrDA devices found\"", false},
      // Cancel during discovery ends the search at once.
      {"--irda none", "tap-control 1\ntap-control 2\n", "\"Oops!\" \"Sorry, no IrDA devices found\"", false},
      {"--irda ias-none", "tap-control 1\n", "\"Oops!\" \"Unable to find a printer\"", true},
      {"--irda ias-string", "tap-control 1\n", "\"Oops!\" \"Bad IAS entry?\"", true},
      {"--irda refuse", "tap-control 1\n", "\"Oops!\" \"Unable to connect to socket\"", true},
      {"--irda nosocket", "tap-control 1\n", "\"Ouch!\" \"Error opening socket = 10047\"", true},
  };
  // The screen before printing: what a job that closed its dialog leaves.
  const std::string before = folder_.path() + "/before.png";
  for (const Case& c : cases) {
    const std::string end =
        c.dialogKept ? "expect-window #32770 \"Printing...\"\ntap-control 2\n" : "expect-shot " + before + "\n";
    vt::Outcome o = Run(c.options, fax,
                        "shot " + before + "\n" + print + c.script + "wait-log print job ended 15000\n" + end +
                            "menu File/Print...\nexpect-window #32770 \"Print\"\ntap-control 2\n");
    EXPECT_NE(o.output.find("messagebox " + c.message), std::string::npos) << c.options << o.output;
    EXPECT_EQ(o.output.find("print page"), std::string::npos) << c.options << o.output;
  }
  // An IAS query that times out twice is answered the third time; a PDU
  // that cannot be read leaves small chunks.
  vt::Outcome o = Run("--irda ias-timeout --irda pdu 0 --printouts none", fax,
                      "menu File/Print...\ntap-control 1021\ntap-control 1\nwait-log print job ended\n");
  EXPECT_NE(o.output.find("print page 1 sent"), std::string::npos) << o.output;
  EXPECT_FALSE(vt::Exists(Printout("IrDA-0001.pdf")));
}

TEST_F(PrintProgram, CancelEndsThePageBeingSent) {
  vt::Outcome o = Run("--irda pdu 16 --printouts none", "letter-3page.tif",
                      "menu File/Print...\nchoose 1010 1200 dpi\ntap-control 1\nwait-log print page 1 sending\n"
                      "tap-control 2\nwait-log print job ended\n");
  const Bytes prn = vt::ReadFile(Printout("IrDA Printer.prn"));
  const std::string text(prn.begin(), prn.end());
  ASSERT_GE(text.size(), 7u);
  // Every page begun is whole; none begins after the one being sent.
  size_t pages = 0;
  for (size_t at = text.find("\x1B*t1200R"); at != std::string::npos; at = text.find("\x1B*t1200R", at + 1)) ++pages;
  EXPECT_LT(pages, 3u);
  EXPECT_EQ(o.output.find("print page " + std::to_string(pages + 1) + " sending"), std::string::npos) << o.output;
  EXPECT_EQ(text.substr(text.size() - 7), "\x1B*rB\x0C\x1B" "E");
}

TEST_F(PrintProgram, TheDialogRefusesWhatCannotBePrinted) {
  vt::Outcome o =
      Run("", std::string(ZELMO_SAMPLES) + "/chart4.bmp", "answer ok\nmenu File/Print...\nexpect-window RAVLO2\n");
  EXPECT_NE(o.output.find("messagebox \"Print\" \"Currently printing is only supported for 1Bpp"), std::string::npos)
      << o.output;
  const std::string from = "tap-control 1022\ntap-control 1040\nkey End\nkey Backspace\ntype ";
  o = Run("", "memo-g4-2page.tif",
          "menu File/Print...\n" + from + "3\nanswer ok\ntap-control 1\n" +
              "expect-window #32770 \"Print\"\ntap-control 1041\nkey End\nkey Backspace\ntype 9\nanswer ok\n"
              "tap-control 1\nexpect-window #32770 \"Print\"\ntap-control 1050\n");
  EXPECT_NE(o.output.find("help zlv.htm#print"), std::string::npos) << o.output;
  EXPECT_NE(o.output.find("messagebox \"Print\" \"The starting page number must be less"), std::string::npos)
      << o.output;
  EXPECT_NE(o.output.find("messagebox \"Print\" \"Must be between 1 and 2\""), std::string::npos) << o.output;
  EXPECT_FALSE(vt::Exists(Printout("IrDA Printer.prn")));
}

// "Actual Size" needs the page's resolution; only then is a stored choice
// of it kept.
TEST_F(PrintProgram, ActualSizeNeedsThePagesResolution) {
  const std::string values = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Zelmo]\n\"PrintMethod\"=dword:00000001\n";
  vt::WriteFile(Root() + "/.emulator/registry.txt", Bytes(values.begin(), values.end()));
  Run("", "memo-g4-2page.tif", "menu File/Print...\nexpect-enabled 1024 1\nexpect-checked 1024 1\ntap-control 2\n");
  Run("", "no-resolution.bmp", "menu File/Print...\nexpect-enabled 1024 0\nexpect-checked 1023 1\ntap-control 2\n");
}

}  // namespace

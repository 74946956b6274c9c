// Folder listings beside things that are not files: a FIFO (opening it for
// reading would wait for a writer for ever), a link to a device, and the
// host's own device folder.  The scan skips them at once.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "imaging/core/files.h"
#include "support/viewer.h"
#include "viewer/browse/file_list.h"
#include "viewer/settings/settings.h"

namespace {

using namespace zelmo;

class NonRegularFiles : public vt::ViewerTest {
 protected:
  void SetUp() override {
    StartDevice("ipaq3600", {}, false);
    gSettings = Settings{};
  }
};

TEST_F(NonRegularFiles, FifosAndDevicesAreSkippedWithoutWaiting) {
  const std::string folder = HostPath("My Documents/Special");
  std::filesystem::create_directories(folder);
  vt::WriteFile(folder + "/a-fax.tif", vt::ReadFile(std::string(ZELMO_SAMPLES) + "/letter-g4.tif"));
  ASSERT_EQ(mkfifo((folder + "/b-fifo.tif").c_str(), 0600), 0);
  ASSERT_EQ(symlink("/dev/zero", (folder + "/c-zero.tif").c_str()), 0);

  EXPECT_FALSE(FileLooksLikeImage(u"\\My Documents\\Special\\b-fifo.tif"));
  EXPECT_FALSE(FileLooksLikeImage(u"\\My Documents\\Special\\c-zero.tif"));
  for (bool validate : {true, false}) {
    ScanFiles(u"\\My Documents\\Special", u"*.*", validate);
    ASSERT_EQ(gFiles.staging.files.count, 1) << validate;
    EXPECT_EQ(std::u16string(EntryName(gFiles.staging.files, 0)), u"a-fax.tif");
  }

  // The host's device folder, terminals and all: only regular files, if any.
  ScanFiles(u"\\Host\\dev", u"*.*", true);
  for (int i = 0; i < gFiles.staging.files.count; ++i) {
    struct stat st;
    const std::string name = quillon::Utf16ToUtf8(EntryName(gFiles.staging.files, i));
    ASSERT_EQ(stat(("/dev/" + name).c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode)) << name;
  }
}

}  // namespace

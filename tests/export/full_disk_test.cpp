// Every writer on a real full disk and in a real read-only folder: a small
// memory file system mounted inside the test's scratch folder. Mounting needs
// root; elsewhere these tests are skipped.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "export/atomic_file.h"
#include "export/dxf_header.h"
#include "export/jwc_writer.h"
#include "export/save_file.h"
#include "support/written_bytes.h"
#include "tests/export/recording_save_host.h"
#include "tests/export/scratch_folder.h"

namespace vp {
namespace {

namespace fs = std::filesystem;
using testing::RecordingSaveHost;

struct Writer {
  std::string name;
  std::string file;  // the target's name
  std::function<SaveResult(const fs::path&, std::span<const LineRecord>, SaveHost&)> save;
  std::vector<std::string> calls_on_create_failure;
  std::vector<std::string> calls_on_write_failure;
};

std::vector<Writer> writers() {
  const std::string jwc_message = "message:" + std::string(kJwcNotSavedMessage);
  const auto saving = [](std::string_view format) {
    return [format](const fs::path& p, std::span<const LineRecord> r, SaveHost& h) {
      static const DxfHeaderTemplate header({"  0", "SECTION", "  2", "ENTITIES"});
      ExportOptions options;
      options.dxf_header = header.bytes();
      return save_file(testing::format_named(format), p, r, 1, options, h);
    };
  };
  return {
      {"coordinate text", "plan.txt", saving("text"), {}, {"begin", "end"}},
      {"DXF", "plan.dxf", saving("dxf"), {"begin", "end"}, {"begin", "end"}},
      {"jw_cad", "plan.jwc", saving("jwc"), {"begin", "end", jwc_message}, {"begin", "end", jwc_message}},
  };
}

std::vector<LineRecord> table(int n) {
  std::vector<LineRecord> records;
  for (int i = 0; i < n; ++i) records.push_back({i * 1000, -i, i * 77, 123456});
  return records;
}

class SmallDisk : public testing::ScratchFolder {
 protected:
  void SetUp() override {
    ScratchFolder::SetUp();
    if (::geteuid() != 0) {
      GTEST_SKIP() << "mounting a small file system for the full-disk and read-only tests needs root";
    }
    disk_ = folder_ / "disk";
    fs::create_directories(disk_);
    ASSERT_EQ(::mount("tmpfs", disk_.c_str(), "tmpfs", 0, "size=64k,mode=0755"), 0)
        << "cannot mount a tmpfs at " << disk_ << ": " << std::strerror(errno);
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) ::umount2(disk_.c_str(), MNT_DETACH);
    ScratchFolder::TearDown();
  }

  // Fills the disk, then frees `left` bytes again.
  void fill_leaving(std::uintmax_t left) {
    const fs::path filler = disk_ / "filler";
    {
      std::ofstream out(filler, std::ios::binary);
      const std::string chunk(4096, 'f');
      while (out.write(chunk.data(), static_cast<std::streamsize>(chunk.size())) && out.flush()) {
      }
    }
    const std::uintmax_t size = fs::file_size(filler);
    ASSERT_GT(size, left);
    fs::resize_file(filler, size - left);
  }

  void make_read_only() {
    ASSERT_EQ(::mount("tmpfs", disk_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=64k"), 0) << std::strerror(errno);
  }

  std::vector<std::string> disk_entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(disk_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path disk_;
  bool mounted_ = false;
};

TEST_F(SmallDisk, FullDiskKeepsTheEarlierFile) {
  for (const Writer& w : writers()) {
    SCOPED_TRACE(w.name);
    const fs::path target = disk_ / w.file;
    // An earlier save that fits.
    {
      RecordingSaveHost host;
      ASSERT_TRUE(w.save(target, table(10), host).written());
    }
    const std::string earlier = read_bytes(target);
    fill_leaving(8192);
    // A large table does not fit.
    RecordingSaveHost host;
    const SaveResult result = w.save(target, table(5000), host);
    EXPECT_FALSE(result.written());
    EXPECT_EQ(result.failure, SaveFailure::Write);
    EXPECT_EQ(file_error_text(result.error), "ディスクがいっぱいです");
    EXPECT_EQ(host.calls, w.calls_on_write_failure);
    EXPECT_EQ(host.dialog_depth, 0);
    EXPECT_EQ(read_bytes(target), earlier);
    EXPECT_EQ(disk_entries(), (std::vector<std::string>{"filler", w.file}));
    fs::remove(disk_ / "filler");
    fs::remove(target);
  }
}

TEST_F(SmallDisk, ReadOnlyFolderKeepsTheEarlierFile) {
  for (const Writer& w : writers()) {
    write_bytes(disk_ / w.file, "earlier " + w.name + "\r\n");
  }
  make_read_only();
  for (const Writer& w : writers()) {
    for (const std::string& name : {w.file, "new" + w.file}) {
      SCOPED_TRACE(w.name + " " + name);
      RecordingSaveHost host;
      const SaveResult result = w.save(disk_ / name, table(3), host);
      EXPECT_FALSE(result.written());
      EXPECT_EQ(result.failure, SaveFailure::Create);
      EXPECT_EQ(file_error_text(result.error), "ファイルへのアクセスが拒否されました");
      EXPECT_EQ(host.calls, w.calls_on_create_failure);
      EXPECT_EQ(host.dialog_depth, 0);
    }
  }
  for (const Writer& w : writers()) {
    EXPECT_EQ(read_bytes(disk_ / w.file), "earlier " + w.name + "\r\n");
  }
  EXPECT_EQ(disk_entries(), (std::vector<std::string>{"plan.dxf", "plan.jwc", "plan.txt"}));
}

}  // namespace
}  // namespace vp

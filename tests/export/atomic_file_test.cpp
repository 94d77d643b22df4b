#include "export/atomic_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "tests/export/scratch_folder.h"

namespace vp {
namespace {

namespace fs = std::filesystem;

TEST(FileErrorText, SystemErrorsToMessages) {
  const std::vector<std::pair<int, std::string>> cases = {
      {ENOENT, "ファイルが見つかりません"},
      {EINVAL, "不正なファイル名です"},
      {ENAMETOOLONG, "不正なファイル名です"},
      {ENOTDIR, "不正なファイル名です"},
      {EMFILE, "オープンしたファイルが多すぎます"},
      {ENFILE, "オープンしたファイルが多すぎます"},
      {EACCES, "ファイルへのアクセスが拒否されました"},
      {EPERM, "ファイルへのアクセスが拒否されました"},
      {EROFS, "ファイルへのアクセスが拒否されました"},
      {EISDIR, "ファイルへのアクセスが拒否されました"},
      {ENOSPC, "ディスクがいっぱいです"},
      {EFBIG, "ディスクがいっぱいです"},
      {EIO, "I/O エラー (" + std::to_string(EIO) + ")"},
      {EBUSY, "I/O エラー (" + std::to_string(EBUSY) + ")"},
  };
  for (const auto& [code, text] : cases) {
    EXPECT_EQ(file_error_text(std::error_code(code, std::generic_category())), text) << "errno " << code;
    // The filesystem library reports the same numbers in the system category.
    EXPECT_EQ(file_error_text(std::error_code(code, std::system_category())), text) << "errno " << code;
  }
}

class AtomicFileTest : public testing::ScratchFolder {};

TEST_F(AtomicFileTest, CommitReplacesOnlyAtTheEnd) {
  const fs::path target = folder_ / "out.bin";
  write_bytes(target, "previous");
  // Writes of many sizes, some far beyond the internal buffer, in one file.
  const std::vector<std::size_t> sizes = {1, 0, 7, 65535, 1, 65536, 3, 200000, 12, 70000};
  std::string expected;
  {
    AtomicFile file(target);
    ASSERT_FALSE(file.open());
    EXPECT_EQ(file.temp_path().parent_path(), folder_);
    std::ostream out(&file.buffer());
    char fill = 'a';
    for (const std::size_t n : sizes) {
      const std::string chunk(n, fill);
      fill = fill == 'z' ? 'a' : static_cast<char>(fill + 1);
      out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
      out.put('|');
      expected += chunk + "|";
    }
    ASSERT_TRUE(out);
    // Nothing reaches the target before the commit.
    EXPECT_EQ(read_bytes(target), "previous");
    EXPECT_EQ(entries().size(), 2u);
    ASSERT_FALSE(file.commit());
    EXPECT_TRUE(file.temp_path().empty());
  }
  EXPECT_EQ(read_bytes(target), expected);
  EXPECT_EQ(entries(), (std::vector<std::string>{"out.bin"}));
}

TEST_F(AtomicFileTest, UncommittedFilesVanish) {
  const fs::path target = folder_ / "keep.txt";
  write_bytes(target, "keep me");
  {
    AtomicFile file(target);
    ASSERT_FALSE(file.open());
    std::ostream out(&file.buffer());
    out << std::string(100000, 'q');
    file.discard();
    EXPECT_EQ(entries(), (std::vector<std::string>{"keep.txt"}));
  }
  {
    AtomicFile file(target);  // left without commit or discard
    ASSERT_FALSE(file.open());
    std::ostream out(&file.buffer());
    out << "partial";
  }
  {
    AtomicFile file(folder_ / "never.txt");
    ASSERT_FALSE(file.open());
  }
  EXPECT_EQ(read_bytes(target), "keep me");
  EXPECT_EQ(entries(), (std::vector<std::string>{"keep.txt"}));
}

TEST_F(AtomicFileTest, ReplacementKeepsPermissionsAndLinks) {
  const fs::path real = folder_ / "real.txt";
  const fs::path link = folder_ / "link.txt";
  write_bytes(real, "old");
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink(real, link);

  AtomicFile file(link);
  ASSERT_FALSE(file.open());
  std::ostream out(&file.buffer());
  out << "new";
  ASSERT_FALSE(file.commit());

  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
  EXPECT_EQ(read_bytes(real), "new");
  EXPECT_EQ(fs::status(real).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(entries(), (std::vector<std::string>{"link.txt", "real.txt"}));
}

TEST_F(AtomicFileTest, TargetsThatCannotBeReplaced) {
  fs::create_directories(folder_ / "dir.txt");
  struct Case {
    fs::path target;
    std::errc expected;
  };
  std::vector<Case> cases = {
      {folder_ / "dir.txt", std::errc::is_a_directory},
      {folder_ / "no" / "such" / "x.txt", std::errc::no_such_file_or_directory},
      {folder_ / "", std::errc::invalid_argument},
  };
  // A device is never swapped for a regular file.
  if (fs::is_character_file("/dev/null")) cases.push_back({"/dev/null", std::errc::invalid_argument});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target.string());
    AtomicFile file(c.target);
    EXPECT_EQ(file.open(), c.expected);
    EXPECT_TRUE(file.temp_path().empty());
    EXPECT_TRUE(file.commit());  // nothing open: nothing to commit
  }
  EXPECT_TRUE(fs::is_character_file("/dev/null") || !fs::exists("/dev/null"));
  EXPECT_EQ(entries(), (std::vector<std::string>{"dir.txt"}));
  EXPECT_TRUE(fs::is_empty(folder_ / "dir.txt"));
}

}  // namespace
}  // namespace vp

#include "raster/utf8_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "imageio/bmp_reader.h"
#include "testkit/bmp_writer.h"
#include "testkit/synthetic_drawing.h"

namespace vp {
namespace {

namespace fs = std::filesystem;

// File names given as UTF-8 (as the converter's arguments and the desktop
// program hand them over) reach the file itself: the reader opens it, and the
// name comes back unchanged from the folder. Windows keeps names in UTF-16, where
// a conversion through the ANSI code page would lose or refuse these.
TEST(Utf8Path, NamesReachTheFileAndComeBack) {
  const fs::path folder = fs::temp_directory_path() / ("vp_utf8_" + std::to_string(std::random_device{}()));
  fs::create_directories(folder);
  const fs::path plain = folder / "plain.bmp";
  ASSERT_TRUE(write_bmp_file(plain.string(), InkImage(13, 7), {}));

  std::vector<std::string> names = {"図面.bmp", "ｽｷｬﾝ ①.bmp", "Zeichnung-Größe.bmp", "plan 1.bmp"};
  // Linux names are bytes: Shift-JIS for 図面, which is not UTF-8, survives too.
  if (fs::path::preferred_separator == '/') names.push_back("\x90\x7d\x96\xca.bmp");
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::string utf8 = path_to_utf8(folder) + "/" + name;
    fs::copy_file(plain, path_from_utf8(utf8));
    BmpReader reader;
    ASSERT_EQ(reader.open(utf8), BmpStatus::Ok);
    EXPECT_EQ(reader.info().width, 13);
    EXPECT_EQ(reader.info().height, 7);
    bool listed = false;
    for (const auto& entry : fs::directory_iterator(folder))
      listed = listed || path_to_utf8(entry.path().filename()) == name;
    EXPECT_TRUE(listed);
  }
  fs::remove_all(folder);
}

}  // namespace
}  // namespace vp

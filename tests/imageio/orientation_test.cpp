// Images stored turned, flipped or mirrored (EXIF Orientation in a JPEG, the
// Orientation tag in a TIFF, a PDF page's /Rotate or its image placed on its side)
// are converted upright, as a photo viewer shows them.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/converter.h"
#include "core/conversion.h"
#include "image_files.h"
#include "imageio/image_formats.h"
#include "pdf_files.h"
#include "raster/memory_budget.h"
#include "support/recording_host.h"
#include "testkit/bmp_writer.h"
#include "testkit/synthetic_drawing.h"

namespace vp::testing_imageio {
namespace {

// Where each orientation puts the stored image's row 0 and column 0 on the
// upright picture, in the words of the EXIF definition.
enum class Side { Top, Bottom, Left, Right };
struct Placement {
  Side row0, column0;
};
constexpr Placement kPlacements[9] = {
    {Side::Top, Side::Left},     {Side::Top, Side::Left},     {Side::Top, Side::Right},
    {Side::Bottom, Side::Right}, {Side::Bottom, Side::Left},  {Side::Left, Side::Top},
    {Side::Right, Side::Top},    {Side::Right, Side::Bottom}, {Side::Left, Side::Bottom}};

bool sideways(int tag) { return kPlacements[tag].row0 == Side::Left || kPlacements[tag].row0 == Side::Right; }

// The stored image that `tag` stands up as `upright` (tag 0: no tag, stored upright).
InkImage stored_for(const InkImage& upright, int tag) {
  const Placement p = kPlacements[tag];
  const bool turned = sideways(tag);
  InkImage stored(turned ? upright.height : upright.width, turned ? upright.width : upright.height);
  for (std::int32_t r = 0; r < stored.height; ++r) {
    for (std::int32_t c = 0; c < stored.width; ++c) {
      // Row r lies r away from the side row 0 is on; column c likewise.
      const std::int32_t along_rows =
          (p.row0 == Side::Bottom || p.row0 == Side::Right) ? (turned ? upright.width : upright.height) - 1 - r : r;
      const std::int32_t along_columns = (p.column0 == Side::Bottom || p.column0 == Side::Right)
                                             ? (turned ? upright.height : upright.width) - 1 - c
                                             : c;
      const std::int32_t x = turned ? along_rows : along_columns;
      const std::int32_t y = turned ? along_columns : along_rows;
      stored.set(c, r, upright.get(x, y));
    }
  }
  return stored;
}

// Square pixels of 8 x 8: JPEG at quality 100 keeps flat blocks pure black and white.
InkImage enlarged(const InkImage& image, std::int32_t factor) {
  InkImage out(image.width * factor, image.height * factor);
  for (std::int32_t r = 0; r < out.height; ++r)
    for (std::int32_t c = 0; c < out.width; ++c) out.set(c, r, image.get(c / factor, r / factor));
  return out;
}

// The ink as the thinning receives it, as an image (row 0 the top).
struct Loaded {
  Outcome outcome = Outcome::Unreadable;
  InkImage ink;
};
Loaded load(const std::string& path) {
  Conversion conversion(any_image_reader_factory());
  Loaded loaded;
  conversion.set_ink_observer([&](const PixelGrid& grid) {
    loaded.ink = InkImage(grid.width() - 2, grid.height() - 2);
    for (std::int32_t r = 0; r < loaded.ink.height; ++r)
      for (std::int32_t c = 0; c < loaded.ink.width; ++c)
        loaded.ink.set(c, r, grid.at(c + 1, loaded.ink.height - r) != kBackground);
  });
  testing::RecordingHost host;
  loaded.outcome = conversion.ChangeImage(path, 1, host).outcome;
  return loaded;
}

TEST(Orientation, EveryTagStandsTheDrawingUpright) {
  ScratchFolder folder;
  // 40 x 24 pixels of 8: the 64-cell words and bands of the grid are crossed unevenly.
  const InkImage drawing = enlarged(generate_drawing(40, 24, 3), 8);
  ASSERT_GT(drawing.ink_count(), 0u);
  for (int tag = 0; tag <= 8; ++tag) {
    const InkImage stored = stored_for(drawing, tag);
    const std::string tif = folder.path("t" + std::to_string(tag) + ".tif");
    ASSERT_TRUE(
        write_tiff(tif, raw_from_ink(stored, {PixelKind::Grey, 1, true, {}, false}),
                   {.compression = TiffCompression::G4, .x_resolution = 100, .y_resolution = 200, .orientation = tag}));
    const std::string jpg = folder.path("t" + std::to_string(tag) + ".jpg");
    write_bytes(jpg, encode_jpeg(raw_from_ink(stored, {PixelKind::Grey, 8, false, {}, false}),
                                 {.quality = 100, .jfif = false, .app1 = exif_segment(100, 1, 200, 1, 2, false, tag)}));
    for (const std::string& path : {tif, jpg}) {
      SCOPED_TRACE(path);
      const Loaded loaded = load(path);
      ASSERT_EQ(loaded.outcome, Outcome::Done);
      EXPECT_TRUE(loaded.ink == drawing);
      // Size and resolution as viewed: the stored rows' 100 dpi runs down a turned image.
      std::ostringstream out, err;
      ASSERT_EQ(cli::run_converter({"--info", path}, out, err, false), 0) << err.str();
      EXPECT_NE(out.str().find("size: 320 x 192 pixels"), std::string::npos) << out.str();
      EXPECT_NE(out.str().find(sideways(tag) ? "200 x 100 dpi" : "100 x 200 dpi"), std::string::npos) << out.str();
      EXPECT_EQ(out.str().find("orientation: " + std::to_string(tag)) != std::string::npos, tag > 1) << out.str();
    }
  }
}

// A turn on its side needs a second grid, and is refused before the reading when
// the memory has room for the one grid only; flips need none.
TEST(Orientation, ATurnOnItsSideClaimsItsSecondGrid) {
  ScratchFolder folder;
  const InkImage drawing = generate_drawing(300, 200, 6);
  const std::uint64_t upright = PixelGrid::bytes_needed(300, 200), sideways = PixelGrid::bytes_needed(200, 300);
  // One grid with its working copies, as PixelGrid::reset claims it; or the filled grid's ink and the turned grid.
  const std::uint64_t one = upright / 2 * 3, one_sideways = sideways / 2 * 3, both = sideways / 2 + upright / 2 * 3;
  const struct {
    int tag;
    std::uint64_t available;
    bool loads;  // later phases may still want more than this test leaves them
  } cases[] = {
      {1, one, true}, {3, one, true}, {6, one_sideways, false}, {8, both - 1, false}, {8, both, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("tag " + std::to_string(c.tag) + ", available " + std::to_string(c.available));
    const std::string tif = folder.path("m.tif");
    ASSERT_TRUE(write_tiff(tif, raw_from_ink(stored_for(drawing, c.tag), {PixelKind::Grey, 1, true, {}, false}),
                           {.orientation = c.tag}));
    set_available_memory_for_testing(c.available);
    const Loaded loaded = load(tif);
    set_available_memory_for_testing(std::nullopt);
    if (c.loads) {
      EXPECT_TRUE(loaded.ink == drawing);
    } else {
      EXPECT_EQ(loaded.outcome, Outcome::OutOfMemory);
      EXPECT_EQ(loaded.ink.width, 0);  // refused before the reading
    }
  }
}

// A page turned by /Rotate, or an image placed on its side, is read as its image
// and stood upright: the same lines as the upright drawing given as a file.
TEST(Orientation, TurnedPdfPagesConvertLikeTheUprightImage) {
  ScratchFolder folder;
  constexpr int kDpi = 200;
  const InkImage drawing = generate_drawing(150, 100, 4);
  const std::string bmp = folder.path("upright.bmp");
  BmpWriteOptions at_dpi;
  at_dpi.dpi = kDpi;
  ASSERT_TRUE(write_bmp_file(bmp, drawing, at_dpi));
  const auto dxf_of = [&](const std::string& input) {
    std::ostringstream out, err;
    const std::string output = folder.path("out.dxf");
    EXPECT_EQ(cli::run_converter({input, "-o", output, "--rate", "from-dpi:1"}, out, err, false), 0) << err.str();
    const std::vector<std::uint8_t> bytes = read_bytes(output);
    return std::string(bytes.begin(), bytes.end());
  };
  const std::string expected = dxf_of(bmp);
  const double width_pt = drawing.width * 72.0 / kDpi, height_pt = drawing.height * 72.0 / kDpi;
  struct Case {
    int rotate;
    int stored_as;       // the orientation whose stored image the page holds
    std::string matrix;  // the image's placement on the upright page, when not the whole page
  };
  const std::string w = std::to_string(width_pt), h = std::to_string(height_pt);
  const Case cases[] = {{90, 6, ""},
                        {180, 3, ""},
                        {270, 8, ""},
                        {0, 6, "0 -" + h + " " + w + " 0 0 " + h},
                        {0, 8, "0 " + h + " -" + w + " 0 " + w + " 0"}};
  for (const Case& c : cases) {
    SCOPED_TRACE("rotate " + std::to_string(c.rotate) + ", matrix " + c.matrix);
    const RawImage raw = raw_from_ink(stored_for(drawing, c.stored_as), {PixelKind::Grey, 1, false, {}, false});
    PdfPage page;
    page.images.push_back(
        {raw.width, raw.height, 1, "/DeviceGray", "/FlateDecode", "", "", false, flate(packed_samples(raw))});
    page.rotate = c.rotate;
    page.image_matrix = c.matrix;
    // The media box is the page as stored: on its side when /Rotate turns it by a quarter.
    const bool quarter = c.rotate % 180 != 0;
    page.width_pt = quarter ? height_pt : width_pt;
    page.height_pt = quarter ? width_pt : height_pt;
    const std::string pdf = folder.path("turned.pdf");
    write_bytes(pdf, pdf_bytes({page}));
    // Rendered, or at another resolution than the image's over the page's, it would differ.
    EXPECT_EQ(dxf_of(pdf), expected);
  }
}

}  // namespace
}  // namespace vp::testing_imageio

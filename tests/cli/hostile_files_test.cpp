// Hostile bitmaps and JPEGs given to the real converter program under a 200 MiB limit on its
// address space: every one ends with an outcome code, never a crash or a kill.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kLimit = 200ull << 20;

struct ChildRun {
  bool exited = false;
  int status = -1;
  double peak_mib = 0;
};

ChildRun run_limited(const std::vector<std::string>& argv, std::uint64_t limit = kLimit) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    rlimit cap{limit, limit};
    setrlimit(RLIMIT_AS, &cap);
    if (std::freopen("/dev/null", "w", stdout) == nullptr || std::freopen("/dev/null", "w", stderr) == nullptr)
      _exit(126);
    execv(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  ChildRun run;
  run.exited = WIFEXITED(status);
  run.status = run.exited ? WEXITSTATUS(status) : -WTERMSIG(status);
  run.peak_mib = static_cast<double>(usage.ru_maxrss) / 1024.0;
  return run;
}

void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v), b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A BITMAPINFOHEADER file of the given size and depth, with a two-entry palette
// for palette images and `pixels` as its pixel data.
std::vector<std::uint8_t> bitmap(std::int32_t width, std::int32_t height, int bits, std::uint32_t compression,
                                 const std::vector<std::uint8_t>& pixels) {
  const std::uint32_t palette = bits <= 8 ? 8 : 0;
  std::vector<std::uint8_t> b(54 + palette, 0);
  b[0] = 'B', b[1] = 'M';
  put32(b, 10, 54 + palette);
  put32(b, 14, 40);
  put32(b, 18, static_cast<std::uint32_t>(width));
  put32(b, 22, static_cast<std::uint32_t>(height));
  put16(b, 26, 1);
  put16(b, 28, static_cast<std::uint16_t>(bits));
  put32(b, 30, compression);
  if (palette != 0) {
    put32(b, 46, 2);
    b[58] = b[59] = b[60] = 0xFF;  // entry 0 white, entry 1 black
  }
  b.insert(b.end(), pixels.begin(), pixels.end());
  put32(b, 2, static_cast<std::uint32_t>(b.size()));
  return b;
}

// A JPEG of `components` components, `width` x `height`, whose first scan (DC
// only, every difference 0) stops after `data` bytes, with no end marker: a few
// hundred bytes that claim billions of pixels. Progressive files make the
// decoder hold every coefficient of the image.
std::vector<std::uint8_t> jpeg_header(bool progressive, std::uint16_t width, std::uint16_t height, int components,
                                      std::size_t data) {
  std::vector<std::uint8_t> b;
  auto add = [&b](std::initializer_list<int> bytes) {
    for (int v : bytes) b.push_back(static_cast<std::uint8_t>(v));
  };
  const int n = components;
  add({0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00});
  b.resize(b.size() + 64, 1);  // quantisation table 0, all ones
  add({0xFF, progressive ? 0xC2 : 0xC0, 0, 8 + 3 * n, 8, height >> 8, height & 0xFF, width >> 8, width & 0xFF, n});
  for (int c = 1; c <= n; ++c) add({c, 0x11, 0});
  // DC table 0 and AC table 0 alike: one code of one bit, the symbol 0.
  for (int table : {0x00, 0x10}) {
    add({0xFF, 0xC4, 0x00, 0x14, table, 1});
    b.resize(b.size() + 16, 0);
  }
  add({0xFF, 0xDA, 0, 6 + 2 * n, n});
  for (int c = 1; c <= n; ++c) add({c, 0x00});
  add({0, progressive ? 0 : 63, 0});
  b.resize(b.size() + data, 0);
  return b;
}

// A sequential arithmetic-coded JPEG whose scan has no data: the headers, then the
// end of the image (96 bytes for one component).
std::vector<std::uint8_t> empty_arithmetic_jpeg(std::uint16_t width, std::uint16_t height, int components) {
  std::vector<std::uint8_t> b = jpeg_header(false, width, height, components, 0);
  b[2 + 2 + 0x43 + 1] = 0xC9;  // the frame marker after the quantisation table: arithmetic coding
  b.insert(b.end(), {0xFF, 0xD9});
  return b;
}

TEST(HostileFiles, EveryOneEndsWithAnOutcomeUnderA200MiBLimit) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves far more address space than the limit allows";
#else
  const fs::path folder = fs::temp_directory_path() / ("vp_hostile_" + std::to_string(std::random_device{}()));
  fs::create_directories(folder);
  struct Case {
    std::string name;
    std::vector<std::uint8_t> bytes;
    std::set<int> outcomes;
  };
  std::vector<Case> cases = {
      // A blank RLE8 image far larger than the limit: a genuine file, refused as out of memory.
      {"vast blank rle8", bitmap(60000, 60000, 8, 1, {0, 1}), {2}},
      {"widest possible rle8 row", bitmap(0x7FFFFFFD, 1, 8, 1, {0, 1}), {2}},
      {"tallest possible rle8 column", bitmap(1, 0x7FFFFFFD, 8, 1, {0, 1}), {2}},
      {"1-bit header claiming 2^31 - 3 pixels a row", bitmap(0x7FFFFFFD, 1, 1, 0, {0, 0, 0, 0}), {3}},
      {"24-bit header claiming 10^10 pixels", bitmap(100000, 100000, 24, 0, std::vector<std::uint8_t>(4096, 0)), {3}},
      {"height INT32_MIN", bitmap(10, INT32_MIN, 1, 0, std::vector<std::uint8_t>(64, 0)), {3}},
      {"width beyond the grid's limit", bitmap(0x7FFFFFFE, 1, 8, 1, {0, 1}), {3}},
      {"empty file", {}, {3}},
      // JPEG: a grid too large for the limit; coefficients too large for it; and
      // data that runs out long before the image does.
      {"progressive jpeg of 65500 x 65500", jpeg_header(true, 65500, 65500, 1, 300), {2}},
      {"progressive colour jpeg of 12000 x 12000", jpeg_header(true, 12000, 12000, 3, 300), {2}},
      {"progressive jpeg of 4000 x 4000, cut short", jpeg_header(true, 4000, 4000, 1, 300), {3}},
      // (its grid and auto's band of rows together may pass the limit before the data runs out)
      {"baseline jpeg of 16000 x 16000, cut short", jpeg_header(false, 16000, 16000, 3, 300), {2, 3}},
      // (the grid of the larger is claimed first, which the limit refuses)
      {"arithmetic jpeg of 65500 x 65500 with no data", empty_arithmetic_jpeg(65500, 65500, 1), {2, 3}},
      {"arithmetic colour jpeg of 800 x 600 with no data", empty_arithmetic_jpeg(800, 600, 3), {3}},
  };
  // The damaged and questionable files of the conformance suite, with their outcomes.
  const fs::path suite = fs::path(VP_TESTDATA_DIR) / "bmpsuite";
  ASSERT_TRUE(fs::exists(suite / "MANIFEST.tsv")) << suite;
  for (const char* sub : {"b", "q"}) {
    for (const auto& entry : fs::directory_iterator(suite / sub)) {
      std::ifstream in(entry.path(), std::ios::binary);
      std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      cases.push_back({std::string(sub) + "/" + entry.path().filename().string(), bytes, {0, 2, 3}});
    }
  }
  const std::string program = std::string(VP_BINARY_DIR) + "/cli/vpconvert";
  for (const Case& c : cases) {
    const fs::path input = folder / "input.bmp", output = folder / "out.txt";
    std::ofstream(input, std::ios::binary)
        .write(reinterpret_cast<const char*>(c.bytes.data()), static_cast<std::streamsize>(c.bytes.size()));
    // The default rule, and the scan clean-up's own reading of the grey levels.
    for (const std::vector<std::string>& rule :
         {std::vector<std::string>{}, {"--threshold", "auto", "--despeckle", "8"}}) {
      std::vector<std::string> argv = {program, input.string(), "-o", output.string(), "--quiet"};
      argv.insert(argv.end(), rule.begin(), rule.end());
      const ChildRun run = run_limited(argv);
      EXPECT_TRUE(run.exited) << c.name << ": killed by signal " << -run.status;
      EXPECT_TRUE(c.outcomes.count(run.status)) << c.name << ": exit status " << run.status;
      EXPECT_LT(run.peak_mib, 200.0) << c.name;
      EXPECT_EQ(fs::exists(output), run.status == 0) << c.name;
      fs::remove(output);
    }
  }
  fs::remove_all(folder);
#endif
}

// With room enough for the grid of the widest rows, their arithmetic is reached:
// one blank row at widths where width + 63 passes INT32_MAX, loaded into the grid
// and measured (a whole conversion of 2^31 columns would take minutes).
TEST(HostileFiles, TheWidestRowsEndWithAnOutcomeUnderAn8GiBLimit) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves far more address space than the limit allows";
#else
  const fs::path folder = fs::temp_directory_path() / ("vp_wide_" + std::to_string(std::random_device{}()));
  fs::create_directories(folder);
  const std::string program = std::string(VP_BINARY_DIR) + "/cli/vpconvert";
  for (const std::int32_t width : {2147483583, 2147483600, 2147483645}) {
    const fs::path input = folder / "wide.bmp", output = folder / "out.txt";
    const std::vector<std::uint8_t> bytes = bitmap(width, 1, 8, 1, {0, 1});
    std::ofstream(input, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    // As the reader's ink rule finds it, and as the clean-up's grey rows and band of rows see it.
    for (const char* threshold : {"nearest-black", "auto"}) {
      const ChildRun run =
          run_limited({program, "--suggest-passes", "--threshold", threshold, input.string()}, 8ull << 30);
      EXPECT_TRUE(run.exited) << width << " " << threshold << ": killed by signal " << -run.status;
      EXPECT_TRUE(run.status == 0 || run.status == 2) << width << " " << threshold << ": exit status " << run.status;
    }
    fs::remove(output);
  }
  fs::remove_all(folder);
#endif
}

// A tiled or striped TIFF (grey, RGB or RGB in planes) whose one strip or tile holds
// a few bytes that are not Deflate data, however large the header says it is.
enum class TiffKind { Grey, Rgb, RgbPlanes };
bool write_hostile_tiff(const fs::path& path, std::uint32_t width, std::uint32_t height, std::uint32_t tile,
                        TiffKind kind) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (tif == nullptr) return false;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, kind == TiffKind::Grey ? 1 : 3);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, kind == TiffKind::Grey ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, kind == TiffKind::RgbPlanes ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
  if (tile != 0) {
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, tile);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, tile);
  } else {
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, height);
  }
  char junk[16] = "not deflate";
  const bool ok =
      tile != 0 ? TIFFWriteRawTile(tif, 0, junk, sizeof junk) > 0 : TIFFWriteRawStrip(tif, 0, junk, sizeof junk) > 0;
  TIFFClose(tif);
  return ok;
}

// A PNG of width x height pixels of `bits` bits of grey, interlaced or not, whose
// data (`rows` zero bytes, compressed) ends long before the image does.
std::vector<std::uint8_t> hostile_png(std::uint32_t width, std::uint32_t height, int bits, bool interlaced,
                                      std::size_t rows) {
  std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  const auto chunk = [&](const char* type, const std::vector<std::uint8_t>& data) {
    const auto be32 = [&](std::uint32_t v) {
      for (int i = 3; i >= 0; --i) png.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    be32(static_cast<std::uint32_t>(data.size()));
    std::vector<std::uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    png.insert(png.end(), body.begin(), body.end());
    be32(static_cast<std::uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
  };
  std::vector<std::uint8_t> header(13, 0);
  for (int i = 0; i < 4; ++i) {
    header[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(width >> (8 * (3 - i)));
    header[static_cast<std::size_t>(4 + i)] = static_cast<std::uint8_t>(height >> (8 * (3 - i)));
  }
  header[8] = static_cast<std::uint8_t>(bits);  // grey
  header[12] = interlaced ? 1 : 0;              // Adam7
  chunk("IHDR", header);
  std::vector<std::uint8_t> data(rows, 0), packed(rows + 64);
  uLongf packed_size = packed.size();
  compress(packed.data(), &packed_size, data.data(), data.size());
  packed.resize(packed_size);
  chunk("IDAT", packed);
  chunk("IEND", {});
  return png;
}

// Tiny files whose headers ask for gigabytes of tile, band, interlace or grey
// clean-up buffers: refused or found damaged while little memory is committed. No
// address-space limit here (one would refuse the buffers whether or not they were
// committed), so this runs in the sanitizer build too.
TEST(HostileFiles, TinyFilesClaimingHugeBuffersCommitLittle) {
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizer writes the shadow of every block it hands out: an eighth of the
  // gigabytes the grid and the buffers reserve, though the blocks stay untouched.
  constexpr double kPeakMiB = 700;
#else
  constexpr double kPeakMiB = 300;
#endif
  const fs::path folder = fs::temp_directory_path() / ("vp_claims_" + std::to_string(std::random_device{}()));
  fs::create_directories(folder);
  const std::string program = std::string(VP_BINARY_DIR) + "/cli/vpconvert";
  const fs::path tile = folder / "tile.tif", planes = folder / "planes.tif", wide_rgb = folder / "wide.tif";
  ASSERT_TRUE(write_hostile_tiff(tile, 32768, 32768, 32768, TiffKind::Grey));  // one tile of 1 GiB
  ASSERT_TRUE(write_hostile_tiff(planes, 100000, 100000, 0, TiffKind::RgbPlanes));
  ASSERT_TRUE(write_hostile_tiff(wide_rgb, 300000000, 1, 0, TiffKind::Rgb));
  const auto write = [&](const char* name, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(folder / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return folder / name;
  };
  const fs::path interlaced = write("adam7.png", hostile_png(100000, 100000, 1, true, 64));
  const fs::path wide_grey = write("wide.png", hostile_png(100000000, 1, 8, false, 0));
  const fs::path tall_grey = write("tall.png", hostile_png(1, 100000000, 8, false, 0));
  // The JPEG's default rule is the grey clean-up's auto.
  const fs::path jpeg = write("vast.jpg", jpeg_header(false, 65500, 65500, 1, 0));
  const std::vector<std::string> none;
  const std::vector<std::pair<fs::path, std::vector<std::string>>> cases = {
      {tile, none},
      {planes, none},
      {interlaced, none},
      {jpeg, none},
      {planes, {"--threshold", "auto"}},
      {wide_rgb, {"--threshold", "64"}},
      {wide_rgb, {"--info"}},
      {wide_grey, {"--threshold", "auto"}},
      {wide_grey, {"--threshold", "adaptive"}},
      {wide_grey, {"--suggest-passes", "--threshold", "auto"}},
      {tall_grey, {"--threshold", "auto"}},
  };
  for (const auto& [input, options] : cases) {
    std::string name = input.filename().string();
    for (const std::string& option : options) name += " " + option;
    const fs::path output = folder / "out.txt";
    std::vector<std::string> argv = {program, input.string(), "--quiet"};
    if (options.empty() || options.front() == "--threshold") argv.insert(argv.end(), {"-o", output.string()});
    argv.insert(argv.end(), options.begin(), options.end());
    const ChildRun run = run_limited(argv, RLIM_INFINITY);
    EXPECT_TRUE(run.exited) << name << ": killed by signal " << -run.status;
    EXPECT_TRUE(run.status == 2 || run.status == 3) << name << ": exit status " << run.status;
    EXPECT_LT(run.peak_mib, kPeakMiB) << name;
    EXPECT_FALSE(fs::exists(output)) << name;
  }
  fs::remove_all(folder);
}

// A black sheet one pixel wide or one pixel high is one line, and costs about its
// grid (a word of each row), not indexes or copies sized by its length.
TEST(HostileFiles, ASheetOnePixelWideOrHighCostsAboutItsGrid) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer's own memory would hide what the conversion holds";
#else
  const fs::path folder = fs::temp_directory_path() / ("vp_thin_sheet_" + std::to_string(std::random_device{}()));
  fs::create_directories(folder);
  const std::string program = std::string(VP_BINARY_DIR) + "/cli/vpconvert";
  constexpr std::uint32_t kLength = 4000000;
  for (const auto& [width, height] : {std::pair{1u, kLength}, std::pair{kLength, 1u}}) {
    const std::size_t row_bytes = 1 + (width + 7) / 8;  // filter byte and pixels, all black
    const std::vector<std::uint8_t> png = hostile_png(width, height, 1, false, row_bytes * height);
    const fs::path input = folder / "sheet.png", output = folder / "sheet.txt";
    std::ofstream(input, std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    const ChildRun run = run_limited({program, input.string(), "-o", output.string(), "--quiet"}, RLIM_INFINITY);
    EXPECT_EQ(run.status, 0) << width << " x " << height;
    EXPECT_LT(run.peak_mib, 64.0) << width << " x " << height;  // the grid alone is 31 MiB one pixel wide
    std::ifstream text(output);
    const std::string all((std::istreambuf_iterator<char>(text)), std::istreambuf_iterator<char>());
    EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 1) << all.substr(0, 200);
  }
  fs::remove_all(folder);
#endif
}

// Fine hatching (one-pixel lines two apart) whose every line is a speck: the
// despeckling holds a few times the 1-bit image (4 MB here), not every run of
// every line still open, and clears them all.
TEST(HostileFiles, FineHatchingIsDespeckledInAFewTimesItsSize) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer's own memory would hide what the conversion holds";
#else
  const fs::path folder = fs::temp_directory_path() / ("vp_hatching_" + std::to_string(std::random_device{}()));
  fs::create_directories(folder);
  const std::string program = std::string(VP_BINARY_DIR) + "/cli/vpconvert";
  constexpr std::int32_t kWidth = 8000, kHeight = 4000;
  const std::vector<std::uint8_t> lines(kWidth / 8 * kHeight, 0xAA);  // ink in every other column
  const std::vector<std::uint8_t> bytes = bitmap(kWidth, kHeight, 1, 0, lines);
  const fs::path input = folder / "hatching.bmp", output = folder / "hatching.txt";
  std::ofstream(input, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  const ChildRun run =
      run_limited({program, input.string(), "-o", output.string(), "--despeckle", "10000", "--quiet"}, RLIM_INFINITY);
  EXPECT_EQ(run.status, 0);
  EXPECT_LT(run.peak_mib, 40.0);
  EXPECT_EQ(fs::file_size(output), 0u);  // every line a speck
  fs::remove_all(folder);
#endif
}

// A DXF header template of nothing but empty lines costs about twice its size; one
// too large for the limit ends as out of memory, never as an abort.
TEST(HostileFiles, AHugeDxfHeaderTemplateFitsOrRunsOutOfMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves far more address space than the limit allows";
#else
  const fs::path folder = fs::temp_directory_path() / ("vp_template_" + std::to_string(std::random_device{}()));
  fs::create_directories(folder);
  const std::string program = std::string(VP_BINARY_DIR) + "/cli/vpconvert";
  const fs::path input = folder / "blank.bmp", header = folder / "head.txt", output = folder / "out.dxf";
  const std::vector<std::uint8_t> blank = bitmap(8, 8, 1, 0, std::vector<std::uint8_t>(32, 0));
  std::ofstream(input, std::ios::binary)
      .write(reinterpret_cast<const char*>(blank.data()), static_cast<std::streamsize>(blank.size()));
  for (const auto& [megabytes, status] : {std::pair{50, 0}, std::pair{400, 2}}) {
    std::ofstream(header, std::ios::binary) << std::string(static_cast<std::size_t>(megabytes) << 20, '\n');
    const ChildRun run = run_limited(
        {program, input.string(), "-o", output.string(), "--dxf-header", header.string(), "--quiet"}, 512ull << 20);
    EXPECT_EQ(run.status, status) << megabytes << " MB";
    EXPECT_EQ(fs::exists(output), status == 0) << megabytes << " MB";
    if (status == 0) {
      EXPECT_GT(fs::file_size(output), std::uintmax_t{static_cast<std::uintmax_t>(megabytes)} << 21);
    }
    fs::remove(output);
  }
  fs::remove_all(folder);
#endif
}

}  // namespace

// An all-black 1-bit PNG of width x height, deflated as its rows are made: a few
// hundred kilobytes for a hundred million pixels.
std::vector<std::uint8_t> black_png(std::uint32_t width, std::uint32_t height) {
  std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  const auto be32 = [&](std::uint32_t v) {
    for (int i = 3; i >= 0; --i) png.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  const auto chunk = [&](const char* type, const std::vector<std::uint8_t>& data) {
    be32(static_cast<std::uint32_t>(data.size()));
    std::vector<std::uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    png.insert(png.end(), body.begin(), body.end());
    be32(static_cast<std::uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
  };
  std::vector<std::uint8_t> header(13, 0);
  for (int i = 0; i < 4; ++i) {
    header[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(width >> (8 * (3 - i)));
    header[static_cast<std::size_t>(4 + i)] = static_cast<std::uint8_t>(height >> (8 * (3 - i)));
  }
  header[8] = 1;  // 1-bit grey, 0 black
  chunk("IHDR", header);
  // Every byte of the image data is zero: filter bytes and black pixels alike.
  const std::uint64_t total = std::uint64_t{height} * (1 + (std::uint64_t{width} + 7) / 8);
  const std::vector<std::uint8_t> zeros(1 << 20, 0);
  std::vector<std::uint8_t> packed, out(1 << 16);
  z_stream z{};
  deflateInit(&z, 1);
  for (std::uint64_t fed = 0; fed < total || z.avail_in != 0;) {
    if (z.avail_in == 0) {
      const auto n = static_cast<uInt>(std::min<std::uint64_t>(zeros.size(), total - fed));
      z.next_in = const_cast<Bytef*>(zeros.data());
      z.avail_in = n;
      fed += n;
    }
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_NO_FLUSH);
    packed.insert(packed.end(), out.data(), z.next_out);
  }
  for (int status = Z_OK; status != Z_STREAM_END;) {
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    status = deflate(&z, Z_FINISH);
    packed.insert(packed.end(), out.data(), z.next_out);
  }
  deflateEnd(&z);
  chunk("IDAT", packed);
  chunk("IEND", {});
  return png;
}

// One line a hundred million pixels long, across or down, under a 300 MiB limit:
// both convert (the column's grid lies on its side, a bit a row).
TEST(HostileFiles, AHundredMillionPixelLineEndsUnderA300MiBLimit) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves far more address space than the limit allows";
#else
  const fs::path folder = fs::temp_directory_path() / ("vp_line_" + std::to_string(std::random_device{}()));
  fs::create_directories(folder);
  const std::string program = std::string(VP_BINARY_DIR) + "/cli/vpconvert";
  struct Case {
    std::uint32_t width, height;
    std::set<int> outcomes;
  };
  for (const Case& c : {Case{100000000, 1, {0}}, Case{1, 100000000, {0}}}) {
    const std::string name = std::to_string(c.width) + "x" + std::to_string(c.height);
    const fs::path input = folder / "line.png", output = folder / "out.txt";
    const std::vector<std::uint8_t> bytes = black_png(c.width, c.height);
    std::ofstream(input, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    const ChildRun run = run_limited({program, input.string(), "-o", output.string(), "--quiet"}, 300ull << 20);
    EXPECT_TRUE(run.exited) << name << ": killed by signal " << -run.status;
    EXPECT_TRUE(c.outcomes.count(run.status)) << name << ": exit status " << run.status;
    EXPECT_EQ(fs::exists(output), run.status == 0) << name;
    fs::remove(output);
  }
  fs::remove_all(folder);
#endif
}

#include "cli/batch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "cli/converter.h"
#include "testkit/bmp_writer.h"
#include "testkit/synthetic_drawing.h"
#include "tests/cli/converter_fixture.h"

namespace vp::cli {
namespace {

namespace fs = std::filesystem;

class BatchTest : public ConverterFixture {
 protected:
  void SetUp() override {
    ConverterFixture::SetUp();
    fs::create_directories(folder_ / "in");
    for (int i = 0; i < 5; ++i) {
      BmpWriteOptions options;
      options.bits_per_pixel = i % 3 == 0 ? 1 : i % 3 == 1 ? 8 : 24;
      const auto bytes = encode_bmp(generate_drawing(180 + 31 * i, 140, static_cast<std::uint32_t>(10 + i)), options);
      inputs_.push_back((folder_ / "in" / ("drawing" + std::to_string(i) + ".bmp")).string());
      std::ofstream(inputs_.back(), std::ios::binary)
          .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
  }

  std::vector<std::string> inputs_;
};

// Every output of a batch is byte for byte the file a single conversion writes,
// whatever the number of jobs running side by side.
TEST_F(BatchTest, OutputsAreThoseOfSingleConversions) {
  struct Case {
    std::string format;
    std::vector<std::string> options;
  };
  const std::vector<Case> cases = {
      {"txt", {"--rate", "0.254"}},
      {"csv", {"--separator", "comma", "--decimals", "2", "--passes", "2"}},
      {"dxf", {"--dxf-split", "--dxf-short", "3", "--rate", "0.5", "--special"}},
      {"jwc", {"--jwc-split", "1,2,3", "--special", "--tolerance", "1.5"}},
  };
  for (const Case& c : cases) {
    for (const char* jobs : {"1", "3"}) {
      const fs::path batch_dir = folder_ / ("batch_" + c.format + jobs);
      std::vector<std::string> args = inputs_;
      args.insert(args.end(), {"--to", c.format, "--out-dir", batch_dir.string(), "--jobs", jobs});
      args.insert(args.end(), c.options.begin(), c.options.end());
      ASSERT_EQ(run(args), 0) << err_.str();
      for (const std::string& input : inputs_) {
        const fs::path single = folder_ / ("single." + c.format);
        std::vector<std::string> one = {input, "-o", single.string(), "--quiet"};
        one.insert(one.end(), c.options.begin(), c.options.end());
        ASSERT_EQ(run(one), 0) << err_.str();
        const fs::path batched = batch_dir / fs::path(input).filename().replace_extension("." + c.format);
        EXPECT_EQ(read(batched), read(single)) << c.format << " jobs " << jobs << " " << input;
      }
    }
  }
}

TEST_F(BatchTest, AFailedFileIsReportedAndTheRestGoOn) {
  const std::string broken = (folder_ / "in" / "broken.bmp").string();
  std::ofstream(broken) << "not a bitmap";
  // A 4-bit bitmap: two messages, joined on the file's line.
  const std::string four_bit = (folder_ / "in" / "four.bmp").string();
  std::string header = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 118, 0, 0, 0, 40,
                        0,   0,   0, 2, 0, 0, 0, 1, 0, 0, 0,   1, 0, 4, 0};
  header.resize(118 + 4, '\0');
  std::ofstream(four_bit, std::ios::binary) << header;
  std::vector<std::string> args = {inputs_[0], broken, four_bit, inputs_[1]};
  args.insert(args.end(), {"--to", "txt", "--out-dir", (folder_ / "out").string(), "-j", "2"});
  EXPECT_EQ(run(args), 3);  // the worst outcome of the batch
  std::istringstream lines(out_.str());
  std::vector<std::string> report;
  for (std::string line; std::getline(lines, line);) report.push_back(line);
  ASSERT_EQ(report.size(), 5u) << out_.str();
  EXPECT_EQ(report[0].rfind(inputs_[0] + " -> ", 0), 0u);
  EXPECT_NE(report[0].find("本のデータがあるよ。"), std::string::npos);
  EXPECT_EQ(report[1].rfind(broken + ": 画像ファイルを読込めませんでした。 (exit 3) ", 0), 0u) << report[1];
  EXPECT_EQ(report[2].rfind(
                four_bit + ": 対応していないファイル形式です。 / 画像ファイルを読込めませんでした。 (exit 3) ", 0),
            0u)
      << report[2];
  EXPECT_EQ(report[3].rfind(inputs_[1] + " -> ", 0), 0u);
  EXPECT_EQ(report[4].rfind("4 files: 2 written, 2 not written, ", 0), 0u);
  EXPECT_TRUE(fs::exists(folder_ / "out" / "drawing0.txt"));
  EXPECT_TRUE(fs::exists(folder_ / "out" / "drawing1.txt"));
  EXPECT_FALSE(fs::exists(folder_ / "out" / "broken.txt"));
}

// A 24-bit grey ramp with no pure black: the default rule finds no ink and advises a threshold.
void write_grey_ramp(const std::string& path) {
  constexpr std::uint32_t side = 64, row_bytes = side * 3, size = 54 + row_bytes * side;
  std::string bytes(size, '\0');
  const auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
  };
  bytes[0] = 'B', bytes[1] = 'M';
  put32(2, size), put32(10, 54), put32(14, 40), put32(18, side), put32(22, side);
  bytes[26] = 1, bytes[28] = 24;
  for (std::uint32_t y = 0; y < side; ++y)
    for (std::uint32_t x = 0; x < row_bytes; ++x) bytes[54 + y * row_bytes + x] = static_cast<char>(40 + x / 3 + y);
  std::ofstream(path, std::ios::binary) << bytes;
}

// Each file of a batch is reported with what its single conversion says: the notes it
// prints before the count and its messages; --quiet leaves the summary and the counts out.
TEST_F(BatchTest, EachFileSaysWhatItsSingleConversionSays) {
  const std::string grey = (folder_ / "in" / "grey.bmp").string();
  write_grey_ramp(grey);
  const std::string dated = (folder_ / "in" / "dated.bmp").string();
  BmpWriteOptions at_400_dpi;
  at_400_dpi.dpi = 400;
  const auto bytes = encode_bmp(generate_drawing(120, 90, 7), at_400_dpi);
  std::ofstream(dated, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  const std::string partner = (folder_ / "in" / "partner.bmp").string();  // a resolution for from-dpi too
  fs::copy_file(dated, partner);
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {grey, {}},
      {inputs_[0], {"--passes", "auto"}},
      {dated, {"--rate", "from-dpi:100"}},
  };
  for (const auto& [input, options] : cases) {
    std::vector<std::string> single = {input, "-o", (folder_ / "single.txt").string()};
    single.insert(single.end(), options.begin(), options.end());
    ASSERT_EQ(run(single), 0) << err_.str();
    std::vector<std::string> said;  // the notes (every line before the count) and the messages
    std::istringstream out_lines(out_.str()), err_lines(err_.str());
    for (std::string line; std::getline(out_lines, line) && line.find("本のデータがあるよ。") == std::string::npos;)
      said.push_back(line);
    for (std::string line; std::getline(err_lines, line);) said.push_back(line.substr(line.find(": ") + 2));
    ASSERT_FALSE(said.empty()) << input;

    std::vector<std::string> batch = {input, partner, "--to", "txt", "--out-dir", (folder_ / "out").string()};
    batch.insert(batch.end(), options.begin(), options.end());
    ASSERT_EQ(run(batch), 0) << err_.str();
    const std::string first_line = out_.str().substr(0, out_.str().find('\n'));
    for (const std::string& text : said) EXPECT_NE(first_line.find(text), std::string::npos) << text;

    batch.push_back("--quiet");
    ASSERT_EQ(run(batch), 0) << err_.str();
    EXPECT_EQ(out_.str(), "") << input;
    if (input == grey) {
      EXPECT_EQ(err_.str(), grey + ": " + said.back() + "\n");  // advice is not quieted
    }
  }
}

TEST_F(BatchTest, CommandLinesThatCannotMakeABatch) {
  const std::string out_dir = (folder_ / "out").string();
  fs::create_directories(folder_ / "other");
  const std::string twin = (folder_ / "other" / "drawing0.bmp").string();
  fs::copy_file(inputs_[0], twin);
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{inputs_[0], inputs_[1], "-o", (folder_ / "x.txt").string()}, "-o"},
      {{inputs_[0], inputs_[1], "--out-dir", out_dir}, "--to"},
      {{inputs_[0], inputs_[1], "--to", "dxf"}, "--out-dir"},
      {{inputs_[0], inputs_[1], "--to", "png", "--out-dir", out_dir}, "--to"},
      {{inputs_[0], inputs_[1], "--to", "dxf", "--out-dir", out_dir, "--jobs", "0"}, "--jobs"},
      {{inputs_[0], inputs_[1], "--to", "dxf", "--out-dir", out_dir, "--thinned", "t.pbm"}, "--thinned"},
      {{inputs_[0], "--to", "dxf", "-o", (folder_ / "x.dxf").string()}, "--to"},
      {{inputs_[0], twin, "--to", "dxf", "--out-dir", out_dir}, "would both write"},
  };
  for (const auto& [args, named] : cases) {
    EXPECT_EQ(run(args), 64) << named;
    EXPECT_NE(err_.str().find(named), std::string::npos) << err_.str();
  }
  EXPECT_FALSE(fs::exists(out_dir));
}

}  // namespace
}  // namespace vp::cli

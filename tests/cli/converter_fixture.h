// The whole converter run in-process, in a fresh folder of its own per test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cli/converter.h"

namespace vp::cli {

class ConverterFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() / ("vp_cli_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string path(const std::string& name) const { return (folder_ / name).string(); }
  static std::string read(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  // Runs the converter with `args` (no program name); what it says is in out_ and err_.
  int run(const std::vector<std::string>& args) {
    out_.str("");
    err_.str("");
    return run_converter(args, out_, err_, false);
  }

  std::filesystem::path folder_;
  std::ostringstream out_, err_;
};

}  // namespace vp::cli

// The converter's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "export/dxf_writer.h"
#include "export/jwc_writer.h"

namespace vp::cli {

enum class OutputFormat { CoordinateText, Dxf, Jwc };

struct Options {
  std::string input;
  std::string output;
  OutputFormat format = OutputFormat::CoordinateText;
  std::int32_t passes = 3;         // Loop
  std::string rate = "1.0";        // Rate: the magnification text, checked when saving
  std::int32_t separator = 0;      // ZahyouDiv
  std::int32_t decimals = 4;       // ZahyouReal
  std::string dxf_header;          // --dxf-header: the template to use instead of the one beside the program
  DxfOptions dxf;                  // DxfReal, DxfOption1, DxfOption1_Len, DxfOption2
  JwcOptions jwc;                  // JwcGroupe ... JwcOption2_R
  std::string thinned;             // --thinned: where to write the thinned grid, if anywhere
  bool special = false;            // --special: merge chains of segments (the setting Special on)
  std::int32_t tolerance_tenths = 20;  // --tolerance: the merging tolerance Ave, in tenths of a cell
  bool quiet = false;
  bool help = false;
};

struct ParseResult {
  std::optional<Options> options;  // empty on a usage error
  std::string error;               // what was wrong, naming the option
};

ParseResult parse_options(const std::vector<std::string>& args);

std::string usage_text();

}  // namespace vp::cli

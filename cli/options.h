// The converter's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "export/export_options.h"
#include "export/formats.h"
#include "scan/threshold.h"

namespace vp::cli {

struct Options {
  std::string input;                // the first (or only) input
  std::vector<std::string> inputs;  // every input, in the order given
  std::string output;               // -o: the output of a single input
  std::string to;                   // --to: the format of a batch's outputs, as an extension without "."
  std::string out_dir;              // --out-dir: where a batch's outputs go, named after their inputs
  int jobs = 0;                     // --jobs: conversions at once in a batch; 0 = one per core
  const ExportFormat* format = &export_formats().front();  // by -o's extension or --to
  std::int32_t passes = 3;                                 // Loop
  bool auto_passes = false;            // --passes auto: the pass-count advisor's count for each input
  bool suggest_passes = false;         // --suggest-passes: print the advisor's count instead of converting
  float rate = 1.0f;                   // Rate: the magnification, millimetres per pixel
  std::string rate_scale;              // --rate from-dpi:SCALE: the SCALE text; the magnification
                                       // then comes from each image's resolution
  std::string dxf_header;              // --dxf-header: the template to use instead of the one beside the program
  ExportOptions exports;               // separator, decimals, DXF and jw_cad choices
  std::string thinned;                 // --thinned: where to write the thinned grid, if anywhere
  std::string ink;                     // --ink: where to write the ink as thinning receives it, if anywhere
  scan::CleanupSettings cleanup;       // --threshold, --despeckle
  bool special = false;                // --special: merge chains of segments (the setting Special on)
  std::int32_t tolerance_tenths = 20;  // --tolerance: the merging tolerance Ave, in tenths of a cell
  bool cad = false;                    // --cad: lines, arcs and circles fitted to the ink (the setting Cad on)
  bool keep_skew = false;              // --keep-skew: with --cad, a skewed scan is not turned back
  bool quiet = false;
  bool help = false;
  bool version = false;           // --version: print the version instead of converting
  bool info = false;              // --info: describe the input image instead of converting it
  std::int32_t page = 1;          // --page: the page of a file of several, from 1
  std::int32_t render_dpi = 300;  // --dpi: the resolution a PDF page that is not one scan is rendered at
};

struct ParseResult {
  std::optional<Options> options;  // empty on a usage error
  std::string error;               // what was wrong, naming the option
};

ParseResult parse_options(const std::vector<std::string>& args);

std::string usage_text();

}  // namespace vp::cli

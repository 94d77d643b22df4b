// Several inputs at once: each converted as a single conversion would be, up to
// `--jobs` at a time, one line reported per file in the order given.
#pragma once

#include <ostream>
#include <string>

#include "cli/options.h"

namespace vp::cli {

// The output a batch writes for `input`: the batch folder, the input's name with
// the batch format's extension.
std::string batch_output_path(const Options& options, const std::string& input);

// Converts every input; returns the highest exit status of its files (or the usage
// status when two inputs would write the same output).
int run_batch(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace vp::cli

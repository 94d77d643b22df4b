// How a conversion ended, and the texts the front ends report it with.
#pragma once

#include <cstdint>
#include <string_view>

namespace vp {

enum class Outcome {
  Done,
  Aborted,      // the user asked to stop
  OutOfMemory,  // a table, the grid or a phase's working state did not get its storage
  Unreadable,   // the image could not be read
  Unsupported,  // the image is of a kind no reader takes
};

// One row per outcome: what the desktop program and the converter say about it.
struct OutcomeText {
  Outcome outcome;
  // The stored form: 0 done, 1 aborted, 2 out of memory, 3 unreadable or unsupported.
  // The converter exits with it.
  std::int32_t code;
  // The main window's outcome line; for Done it follows the number of lines.
  std::string_view label;
  // Said before `message` (unsupported images only), or empty.
  std::string_view notice;
  // The message that reports the outcome; for Done it is followed by the elapsed time.
  std::string_view message;
};

const OutcomeText& outcome_text(Outcome outcome);

}  // namespace vp

// What a conversion needs from the program that runs it: a progress display of
// four bars and four labels, and a chance for the user to act. The desktop program
// implements it with a dialog, the converter on standard error, and tests with a
// recording fake. The core never shows a message: it returns the
// outcome, and the program says what it means.
#pragma once

#include <string_view>

namespace vp {

// The bars by index, one per stage: loading, thinning, tracing, special mode.
enum class ProgressBar { Load = 0, Thin = 1, Trace = 2, Special = 3 };
inline constexpr int kProgressBarCount = 4;

// The labels by role: the states of special mode's two checks (end points,
// crossings), and its counts of lines going in (traced) and coming out (merged).
enum class ProgressLabel { EndPointCheck, CrossingCheck, MergedCount, TracedCount };

class ConversionHost {
 public:
  virtual ~ConversionHost() = default;
  // The display appears; the rest of the program waits until conversion_finished.
  virtual void conversion_started() = 0;
  virtual void conversion_finished() = 0;
  // Lets the user act. False once they have asked to abort.
  virtual bool serve_events() = 0;
  virtual void set_bar(ProgressBar bar, int position) = 0;  // position 0 to 100
  virtual void set_label(ProgressLabel label, std::string_view text) = 0;
};

}  // namespace vp

// What a conversion needs from the program that runs it. The desktop program
// implements it with its progress dialog and message boxes, the converter with
// standard error, and tests with a recording fake. The core reaches the user
// through nothing else.
#pragma once

#include <string_view>

namespace vp {

// The four bars of the progress dialog ("へんかん１" to "へんかん４").
enum class ProgressBar { Load = 1, Thin = 2, Trace = 3, Special = 4 };

// The special-mode widgets of the progress dialog: the states of the two checks
// (Label7, Label8), the merged-line count (Label10) and the traced-line count (Label12).
enum class ProgressLabel { EndPointCheck, CrossingCheck, MergedCount, TracedCount };

class ConversionHost {
 public:
  virtual ~ConversionHost() = default;
  // Shows the progress dialog (modeless) and disables the main window.
  virtual void conversion_started() = 0;
  // Hides the progress dialog and enables the main window again.
  virtual void conversion_finished() = 0;
  // Lets the user act: the abort button may store 1 into the conversion's CancelState here.
  virtual void process_events() = 0;
  virtual void set_bar(ProgressBar bar, int position) = 0;
  virtual void set_label(ProgressLabel label, std::string_view text) = 0;
  // A modal message; returns when the user has dismissed it.
  virtual void show_message(std::string_view text) = 0;
};

}  // namespace vp

// What a writer needs from the program that runs it, and the protocol every
// writer follows with it: read the magnification (complaining once when it is
// not a number), show the saving dialog while the file is written, move its bar
// after each record, and always hide it again.
//
// The desktop program implements SaveHost with its saving dialog and message
// boxes; tests use a recording fake. A writer reaches the user through nothing else.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <system_error>

#include "vector/line_data.h"

namespace vp {

class SaveHost {
 public:
  virtual ~SaveHost() = default;
  // A modal message; returns when the user has dismissed it.
  virtual void show_message(std::string_view text) = 0;
  // Shows the saving dialog (without resetting its bar) and disables the main window.
  virtual void begin_saving() = 0;
  // The saving dialog's bar, 0 to 100.
  virtual void set_saving_bar(int position) = 0;
  // Lets the window system process pending messages.
  virtual void process_events() = 0;
  // Hides the saving dialog and enables the main window.
  virtual void end_saving() = 0;
  // Whether the user has called the save off since it began (an interrupt in the
  // converter); asked between blocks of bytes. The desktop program has no way to.
  virtual bool abort_requested() { return false; }
};

// What a writer hands its file so that the file stops when the user calls the save off.
inline std::function<bool()> abort_check(SaveHost& host) {
  return [&host] { return host.abort_requested(); };
}

// Texts the writers and the save command show.
inline constexpr std::string_view kInvalidRateMessage = "倍率の数値が不正です。";
inline constexpr std::string_view kSavedMessage = "保存しました。";
inline constexpr std::string_view kNotSavedMessage = "保存できませんでした。";

// Why a save did not write its file.
enum class SaveFailure {
  None,         // written
  InvalidRate,  // the magnification text is not a number; the writer has said so
  Create,       // the file could not be created; nothing was shown and no dialog
  Write,        // a write, the close or the final replacement failed, or the save was
                // called off (error operation_canceled)
  Template,     // the DXF header template is there but unreadable; the writer has said so
};

struct SaveResult {
  std::int32_t cancel_state = 0;  // CancelState: 0 written, 1 not written
  SaveFailure failure = SaveFailure::None;
  std::error_code error;          // the system's reason for Create and Write, when known

  bool written() const { return cancel_state == 0; }
};

// How a writer stores a grid coordinate scaled by the magnification. Writers of
// decimal text print the exact product, which is always finite, and pass none.
using StoredCoordinate = float (*)(std::int32_t c, float rate);

// The first step of every writer: the magnification text as Rate. When it is
// not a valid number, or when it would make any coordinate of `records` infinite
// or not a number as the writer stores it, shows kInvalidRateMessage and gives nothing.
std::optional<float> read_magnification(std::string_view text, SaveHost& host,
                                        std::span<const LineRecord> records = {},
                                        StoredCoordinate stored = nullptr);

// trunc(i / count × 100) in floating point, for record i of count (1-based).
int saving_bar_position(std::int64_t i, std::int64_t count);

// The saving dialog for the lifetime of the object: shown (and the main window
// disabled) on construction, hidden (and the main window enabled) on
// destruction, whatever way the writer leaves.
class SavingDialog {
 public:
  explicit SavingDialog(SaveHost& host) : host_(host) { host_.begin_saving(); }
  ~SavingDialog() { host_.end_saving(); }
  SavingDialog(const SavingDialog&) = delete;
  SavingDialog& operator=(const SavingDialog&) = delete;

  // After record i of count: moves the bar.
  void record_written(std::int64_t i, std::int64_t count) {
    host_.set_saving_bar(saving_bar_position(i, count));
  }
  void process_events() { host_.process_events(); }

 private:
  SaveHost& host_;
};

}  // namespace vp

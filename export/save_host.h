// What a save needs from the program that runs it: the saving dialog shown while
// the file is written, its bar moved after each record, and messages. save_file
// (export/save_file.h) drives it; the writers themselves never see it.
//
// The desktop program implements SaveHost with its saving dialog and message
// boxes; the converter with its terminal; tests with a recording fake.
#pragma once

#include <cstdint>
#include <string_view>
#include <system_error>


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

// Texts the writers and the save command show.
inline constexpr std::string_view kInvalidRateMessage = "倍率の数値が不正です。";
inline constexpr std::string_view kSavedMessage = "保存しました。";
inline constexpr std::string_view kNotSavedMessage = "保存できませんでした。";

// Why a save did not write its file.
enum class SaveFailure {
  None,         // written
  InvalidRate,  // the magnification is not a number, or too large for the format
  Create,       // the file could not be created; nothing was shown and no dialog
  Write,        // a write, the close or the final replacement failed, or the save was
                // called off (error operation_canceled)
  Template,     // the DXF header template is there but unreadable; that has been said
};

struct SaveResult {
  std::int32_t cancel_state = 0;  // CancelState: 0 written, 1 not written
  SaveFailure failure = SaveFailure::None;
  std::error_code error;          // the system's reason for Create and Write, when known

  bool written() const { return cancel_state == 0; }
};

// trunc(i / count × 100) in floating point, for record i of count (1-based).
int saving_bar_position(std::int64_t i, std::int64_t count);

}  // namespace vp

// What a save needs from the program that runs it: to show that a file is being
// written (a bar from 0 to 100, moved after each record), to let the user act,
// and messages. save_file (export/save_file.h) drives it; the writers
// themselves never see it.
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
  // A file is about to be written: show so (the bar as it was), and keep the
  // user from starting other work meanwhile.
  virtual void begin_saving() = 0;
  // How far the file is written, 0 to 100.
  virtual void set_saving_bar(int position) = 0;
  // Lets the user act (the program processes pending events).
  virtual void process_events() = 0;
  // The file is written or given up: stop showing it and let the user work again.
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
  SaveFailure failure = SaveFailure::None;
  std::error_code error;  // the system's reason for Create and Write, when known

  bool written() const { return failure == SaveFailure::None; }
};

// trunc(i / count × 100) in floating point, for record i of count (1-based).
int saving_bar_position(std::int64_t i, std::int64_t count);

// saving_bar_position for records reported in order, without its division for
// each one: the position never falls as i grows, so it is worked out again only
// from the record before the one where it may next step.
class SavingBar {
 public:
  int position(std::int64_t i, std::int64_t count);

 private:
  std::int64_t count_ = -1, from_ = 0, until_ = -1;  // records from_ .. until_ of count_ stand at position_
  int position_ = 0;
};

}  // namespace vp

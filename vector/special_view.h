// How the special-mode phases (end points, crossings, merging) talk to the
// conversion that runs them: the widgets they drive and the abort.
//
// The texts of the checks live with the program's other messages; the phases only
// say which check started or ended, and the driver turns that into the labels.
#pragma once

#include <cstdint>

namespace vp {

// The two checks of the progress dialog: end point detection ("ちぇっく１", Label7)
// and crossing detection ("ちぇっく２", Label8).
enum class SpecialCheck { EndPoints, Crossings };

// The two counts of the row "ちぇっく３": the segments going into the merging
// (Label12) and the merged lines stored so far (Label10).
enum class SpecialCount { Traced, Merged };

class SpecialView {
 public:
  virtual ~SpecialView() = default;
  virtual void check_running(SpecialCheck check) = 0;
  virtual void check_done(SpecialCheck check) = 0;
  virtual void show_count(SpecialCount count, std::int64_t value) = 0;
  // The special-mode bar ("へんかん４"): 0 to 33 end points, 33 to 66 crossings,
  // 67 to 100 merging. The phases call it only when the position changes.
  virtual void set_bar(int position) = 0;
  // Lets the program serve its events; the abort button may set CancelState here.
  virtual void process_events() = 0;
};

struct SpecialControl {
  // CancelState: the phases stop at their next test once it is not 0. The phases
  // set it to 2 when a table cannot get the memory it needs.
  std::int32_t& cancel_state;
  SpecialView& view;

  bool stopped() const { return cancel_state != 0; }
};

// The special-mode bar keeps its last position so that a phase moves it only when
// the value it computes changes.
class SpecialBar {
 public:
  void show(SpecialView& view, int position) {
    if (position == shown_) return;
    shown_ = position;
    view.set_bar(position);
  }

 private:
  int shown_ = -1;
};

}  // namespace vp

// Lets the window system process pending events during a long call, at most
// once per interval: the core asks after every line of the grid, hundreds of
// thousands of times per conversion, and a full pass over the event queue each
// time would cost more than the conversion itself.
#pragma once

#include <QElapsedTimer>

namespace vp::gui {

class EventPump {
 public:
  static constexpr qint64 kIntervalMs = 20;

  // Processes pending events when the interval has passed since the last time
  // (always on the first call after restart()).
  void pump();
  void restart() { last_.invalidate(); }

 private:
  QElapsedTimer last_;
};

}  // namespace vp::gui

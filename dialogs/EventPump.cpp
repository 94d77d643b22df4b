#include "dialogs/EventPump.h"

#include <QCoreApplication>

namespace vp::gui {

void EventPump::pump() {
  if (last_.isValid() && last_.elapsed() < kIntervalMs) return;
  QCoreApplication::processEvents();
  last_.start();
}

}  // namespace vp::gui

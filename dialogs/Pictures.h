// The program's own pictures, drawn in code: cheerful bananas for the main
// window's four decorations, the version dialog's four and the window icon.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace vp::gui {

enum class Picture {
  OpenBanana,    // peeking out of a folder, beside the open button
  RulerBanana,   // with a ruler, beside the magnification box
  SaveBanana,    // sitting on a floppy disk, beside the save button
  BananaBunch,   // three together, decoration
  GoGoBanana,    // running ("いけいけ、ごーごー")
  SleepyBanana,  // dozing ("ねむいよ～")
  HelloBanana,   // waving ("こんちわ")
  HiBanana,      // jumping ("やぁ！")
};

// A `size` × `size` picture with a transparent background.
QPixmap drawPicture(Picture picture, int size = 48);

// The window icon: a banana at 16 and 32 pixels.
QIcon windowIcon();

}  // namespace vp::gui

// velorin-pelkin: the desktop program.
#include <QApplication>

#include <cstdio>
#include <cstring>

#include "app/gui/Program.h"

int main(int argc, char* argv[]) {
  // Answered before any window system is needed, so that it works anywhere.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("velorin-pelkin %s\n", VP_VERSION);
      return 0;
    }
  }
  QApplication app(argc, argv);
  return vp::gui::runProgram(app);
}

// velorin-pelkin: the desktop program.
#include <QApplication>

#include "app/gui/Program.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  return vp::gui::runProgram(app);
}

#include "dialogs/VersionDialog.h"

#include <QLabel>
#include <QPushButton>

#include "dialogs/FormSupport.h"
#include "dialogs/Pictures.h"

namespace vp::gui {

VersionDialog::VersionDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TForm6"));
  setWindowTitle(QStringLiteral("ばーじょんじょうほう"));
  makeFixedWindow(this, 298, 178, true);  // closing is とじる

  makeLabel(this, "Label2", QStringLiteral("バージョン：Velorin Pelkin Ⅱ"), 60, 16);
  makeLabel(this, "Label1", QStringLiteral("Version 6.02"), 116, 32);
  makeLabel(this, "Label3", QStringLiteral("白黒の図面を、線のデータにします。"), 50, 52);

  struct Banana {
    const char* name;
    int left;
    Picture picture;
    const char* tip;
  };
  static constexpr Banana kBananas[] = {
      {"Image2", 16, Picture::GoGoBanana, "いけいけ、ごーごー"},
      {"Image3", 87, Picture::SleepyBanana, "ねむいよ～"},
      {"Image4", 157, Picture::HelloBanana, "こんちわ"},
      {"Image5", 228, Picture::HiBanana, "やぁ！"},
  };
  for (const Banana& banana : kBananas) {
    auto* image = place(new QLabel(this), banana.name, banana.left, 80, 48, 48);
    image->setPixmap(drawPicture(banana.picture));
    image->setToolTip(QString::fromUtf8(banana.tip));
  }

  auto* close = makeButton(this, "Button1", QStringLiteral("とじる"), QRect(120, 144, 61, 25));
  close->setDefault(true);
  connect(close, &QPushButton::clicked, this, &VersionDialog::closeClicked);
  centreOnScreen(this);
  keepPlace(this);
}

void VersionDialog::closeClicked() { accept(); }

}  // namespace vp::gui

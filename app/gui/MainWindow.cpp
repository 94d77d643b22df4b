#include "app/gui/MainWindow.h"

#include "export/svg_writer.h"
#include "imageio/image_formats.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QMenuBar>

#include <new>
#include <string_view>

#include "core/messages.h"
#include "core/outcome.h"
#include "app/gui/PreviewWindow.h"
#include "app/gui/ProgressDialog.h"
#include "app/gui/SavingDialog.h"
#include "dialogs/FormSupport.h"
#include "dialogs/MessageBoxes.h"
#include "dialogs/Pictures.h"
#include "dialogs/ScaleCalculatorDialog.h"
#include "dialogs/SettingsDialog.h"
#include "dialogs/VersionDialog.h"
#include "export/atomic_file.h"
#include "export/dxf_writer.h"
#include "export/jwc_writer.h"
#include "export/text_writer.h"

namespace vp::gui {
namespace {

constexpr int kClientWidth = 340;
constexpr int kClientHeight = 244;
const QString kFileNameCaption = QStringLiteral("ﾌｧｲﾙ名:");
// Follows messages::kGreyScanNotice, on a line of its own.
constexpr std::string_view kScanAdvice = "\n\r「せってい」の「スキャン」で「おまかせ（auto）」をえらんでみてね。";

std::filesystem::path fsPath(const QString& path) {
  return std::filesystem::path(path.toStdU16String());
}

}  // namespace

MainWindow::MainWindow(SettingsStorage& storage, const QString& program_folder, QWidget* parent)
    : QMainWindow(parent), storage_(storage), program_folder_(program_folder), conversion_(any_image_reader_factory()) {
  setObjectName(QStringLiteral("TForm1"));
  setWindowTitle(QStringLiteral("Velorin Pelkin Ⅱ"));
  setWindowIcon(windowIcon());
  buildControls();
  buildMenu();
  makeFixedWindow(this, kClientWidth, menuBar()->sizeHint().height() + kClientHeight, true);
  setWindowFlags(windowFlags() | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::WindowMinimizeButtonHint);

  OpenDialog1 = new QFileDialog(this);
  OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
  OpenDialog1->setOption(QFileDialog::DontUseNativeDialog);
  OpenDialog1->setOption(QFileDialog::HideNameFilterDetails);
  OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
  OpenDialog1->setFileMode(QFileDialog::ExistingFile);
  OpenDialog1->setNameFilters(openFilters());
  fitFileColumns(OpenDialog1);
  SaveDialog1 = new SaveFileDialog(this);
  // A child window: disabled with the main window while a conversion or a save runs.
  Form7 = new PreviewWindow(this);
  connect(Form7, &PreviewWindow::magnificationPicked, this, [this](const QString& text) {
    if (!busy_) Edit1->setText(text);
  });
  conversion_.set_reader_factory(ink_copy_.wrap(any_image_reader_factory()));
  conversion_.set_ink_observer(ink_copy_.inkObserver());

  // FormCreate. The LineData storage exists already (the conversion made it).
  settings_ = load_settings_checked(storage_, program_folder_.toStdString());
  move(settings_.Left, settings_.Top);
  SpinEdit1->setValue(clamp_pass_count(settings_.Loop));
  Edit1->setText(QString::fromStdString(settings_.Rate));
}

MainWindow::~MainWindow() = default;

void MainWindow::buildControls() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("ClientArea"));
  client->setFixedSize(kClientWidth, kClientHeight);
  setCentralWidget(client);

  makeRed(makeLabel(client, "Label1", QStringLiteral("↑ふぁいるを開く前に設定をしてください。"), 76, 4));
  struct Decoration {
    const char* name;
    int left, top;
    Picture picture;
  };
  static constexpr Decoration kImages[] = {{"Image1", 8, 28, Picture::OpenBanana},
                                           {"Image2", 8, 96, Picture::RulerBanana},
                                           {"Image4", 224, 136, Picture::BananaBunch},
                                           {"Image3", 8, 164, Picture::SaveBanana}};
  for (const Decoration& d : kImages) {
    place(new QLabel(client), d.name, d.left, d.top, 48, 48)->setPixmap(drawPicture(d.picture));
  }

  auto* button1 = makeButton(client, "Button1", QStringLiteral("ふぁいるをひらく"), QRect(64, 32, 97, 33));
  Label6 = makeWrappedLabel(client, "Label6", QStringLiteral("VelorinPelkinⅡ"), QRect(180, 56, 133, 69));
  Label6->setAlignment(Qt::AlignCenter);
  Label6->setAutoFillBackground(true);
  QPalette white = Label6->palette();
  white.setColor(QPalette::Window, Qt::white);
  Label6->setPalette(white);

  Edit1 = place(new QLineEdit(client), "Edit1", 64, 100, 93, 20);
  connect(Edit1, &QLineEdit::textChanged, this, &MainWindow::Edit1Change);
  Label6->installEventFilter(this);
  auto* button4 = makeButton(client, "Button4", QStringLiteral("けいさん"), QRect(92, 124, 65, 21));
  Button3 = makeButton(client, "Button3", QStringLiteral("でーたのほぞん"), QRect(64, 172, 97, 33));
  Button3->setEnabled(false);
  makeLabel(client, "Label5", QStringLiteral("バナナの本数"), 184, 196);
  SpinEdit1 = place(new SpinEdit(client), "SpinEdit1", 260, 192, 45, 21);
  SpinEdit1->setRange(1, 100);

  StatusBar1 = place(new QStatusBar(client), "StatusBar1", 0, 225, kClientWidth, 19);
  StatusBar1->setSizeGripEnabled(false);
  // One simple panel. Placed by hand: the bar's own layout would leave the
  // text less than a line's height.
  StatusText = place(new QLabel(kFileNameCaption, StatusBar1), "SimpleText", 3, 1, kClientWidth - 6, 18);
  StatusText->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  connect(button1, &QPushButton::clicked, this, &MainWindow::Button1Click);
  connect(Button3, &QPushButton::clicked, this, &MainWindow::Button3Click);
  connect(button4, &QPushButton::clicked, this, &MainWindow::Button4Click);
  setTabOrder(button1, SpinEdit1);
  setTabOrder(SpinEdit1, Button3);
  setTabOrder(Button3, button4);
  setTabOrder(button4, Edit1);
}

void MainWindow::buildMenu() {
  QMenuBar* bar = menuBar();
  bar->setNativeMenuBar(false);
  QMenu* file = bar->addMenu(QStringLiteral("ふぁいる(&F)"));
  file->setObjectName(QStringLiteral("File1"));
  const auto item = [&](QMenu* menu, const char* name, const QString& caption, auto handler) {
    QAction* action = menu->addAction(caption, this, handler);
    action->setObjectName(QString::fromLatin1(name));
    return action;
  };
  item(file, "Open1", QStringLiteral("ひらく&O)"), &MainWindow::Button1Click);
  item(file, "T1", QStringLiteral("ばいりつ(&R)"), &MainWindow::Button4Click);
  Save1 = item(file, "Save1", QStringLiteral("ほぞん(&S)"), &MainWindow::Button3Click);
  Save1->setEnabled(false);
  Preview1 = item(file, "Preview1", QStringLiteral("ぷれびゅー(&P)"), &MainWindow::Preview1Click);
  Preview1->setEnabled(false);
  file->addSeparator()->setObjectName(QStringLiteral("N1"));
  item(file, "Exit1", QStringLiteral("おわり(&X)"), &MainWindow::Exit1Click);

  QAction* settings = bar->addAction(QStringLiteral("せってい(&S)"));
  settings->setObjectName(QStringLiteral("N3"));
  connect(settings, &QAction::triggered, this, &MainWindow::N3Click);

  QMenu* help = bar->addMenu(QStringLiteral("へるぷ(&H)"));
  help->setObjectName(QStringLiteral("H1"));
  item(help, "N2", QStringLiteral("ばーじょんじょうほう(&A)"), &MainWindow::N2Click);
}

void MainWindow::attachForms(ProgressDialog* form2, ScaleCalculatorDialog* form3,
                             SavingDialog* form4, SettingsDialog* form5, VersionDialog* form6) {
  Form2 = form2;
  Form3 = form3;
  Form4 = form4;
  Form5 = form5;
  Form6 = form6;
  Form2->attach(this);
  Form4->attach(this);
}

void MainWindow::setStatus(const QString& text) { setElidedText(StatusText, text); }

void MainWindow::setSaveEnabled(bool enabled) {
  Button3->setEnabled(enabled);
  Save1->setEnabled(enabled);
  Preview1->setEnabled(enabled);
}

// --- The open command ------------------------------------------------------

void MainWindow::Button1Click() {
  if (busy_ || Form2 == nullptr) return;
  OpenDialog1->setDirectory(QString::fromStdString(settings_.OpenDir));
  if (OpenDialog1->exec() != QDialog::Accepted || OpenDialog1->selectedFiles().isEmpty()) return;
  convert(OpenDialog1->selectedFiles().constFirst(), true);
}

void MainWindow::convert(const QString& path, bool announce) {
  if (busy_ || Form2 == nullptr) return;
  setStatus(kFileNameCaption + QFileInfo(path).fileName());
  // What the preview shows comes from the table and the grid that the
  // conversion is about to replace: it lets go of them first.
  const bool previewOpen = Form7->isVisible();
  Form7->hide();
  Form7->clearDrawing();
  loaded_ink_.reset();
  cleaned_ink_.reset();
  ink_copy_.clear();

  const int passes = SpinEdit1->currentValue();
  SpinEdit1->setValue(passes);
  busy_ = true;
  last_conversion_ = conversion_.ChangeImage(localPath(path), passes, *Form2, settings_);
  busy_ = false;
  loaded_ink_ = ink_copy_.take();
  cleaned_ink_ = ink_copy_.takeInk();
  if (!last_conversion_.done()) {
    loaded_ink_.reset();
    cleaned_ink_.reset();
  }
  reportConversion(path, announce);
  if (announce && last_conversion_.done()) adviseOnScan();
  if (previewOpen && last_conversion_.done()) Preview1Click();
}

void MainWindow::reportConversion(const QString& path, bool announce) {
  const OutcomeText& text = outcome_text(last_conversion_.outcome);
  // An image of an unsupported kind is named as such before anything else.
  if (!text.notice.empty()) showPlainMessage(this, qtext(text.notice));
  if (last_conversion_.done()) {
    const QFileInfo info(path);
    settings_.OpenDir = QDir::toNativeSeparators(info.absolutePath() + u'/').toStdString();
    OpenedFileName = info.fileName();
    Label6->setText(QString::number(last_conversion_.segments) + qtext(text.label));
    setSaveEnabled(true);
    updateTrueSize();
    if (announce) showPlainMessage(this, qtext(text.message) + formatElapsed(Form2->elapsedMs()));
    return;
  }
  setStatus(kFileNameCaption + u'-');
  setSaveEnabled(false);
  updateTrueSize();
  Label6->setText(displayText(qtext(text.label)));
  if (announce) showPlainMessage(this, qtext(text.message));
}

// The reader's own rule found next to no ink in what looks like a grey or
// colour scan: the lines are few or none, and the スキャン tab has the remedy.
void MainWindow::adviseOnScan() {
  if (!last_conversion_.scan.grey_scan_without_ink) return;
  showPlainMessage(this, qtext(messages::kGreyScanNotice) + qtext(kScanAdvice));
}

// --- The save command ------------------------------------------------------

void MainWindow::Button3Click() {
  if (busy_ || Form4 == nullptr || !Button3->isEnabled()) return;
  // 1-2. Type, folder and the default name.
  // A SaveMode outside 1 to 3 leaves the type and the name as they were.
  SaveDialog1->setFilterIndex(settings_.SaveMode);
  SaveDialog1->setDirectory(QString::fromStdString(settings_.SaveDir));
  if (const auto extension = default_extension(settings_.SaveMode, settings_.ZahyouExt)) {
    SaveDialog1->selectFile(QString::fromStdString(
        replace_extension(OpenedFileName.toStdString(), *extension)));
  }
  // 3.
  if (SaveDialog1->exec() != QDialog::Accepted || SaveDialog1->selectedFiles().isEmpty()) return;
  // 4. The chosen name with the type's extension.
  const int index = SaveDialog1->filterIndex();
  QString path = QDir::toNativeSeparators(SaveDialog1->selectedFiles().constFirst());
  if (const auto extension = default_extension(index, settings_.ZahyouExt)) {
    path = QString::fromStdString(replace_extension(path.toStdString(), *extension));
  }
  // 5. Never over the image the lines came from (its folder is kept on success),
  // as the writer names the file.
  const QString converted = QDir::fromNativeSeparators(QString::fromStdString(settings_.OpenDir)) + OpenedFileName;
  const auto written_extension = output_extension(index, settings_.ZahyouExt);
  const QString written = written_extension
                              ? QString::fromStdString(replace_extension(path.toStdString(), *written_extension))
                              : path;
  if (namesSameFile(written, converted)) return showErrorBox(this, convertedImageMessage(written));
  if (fileExistsIgnoringCase(path) && !askWarningYesNo(this, overwriteQuestion(path))) return;
  // 6-7.
  SaveDialog1->selectFile(path);
  busy_ = true;
  const SaveResult result = runWriter(index, path);
  busy_ = false;
  // 8.
  if (result.written()) {
    showPlainMessage(this, qtext(kSavedMessage));
    settings_.SaveDir = folderPart(path).toStdString();
    settings_.SaveMode = index;
    return;
  }
  switch (result.failure) {
    case SaveFailure::Template:
      break;  // the writer has shown why, and nothing else is said
    case SaveFailure::Create:
      if (index == kSaveTypeText) {
        // Coordinate text does not handle a file it cannot create: the
        // failure ends the command with the system's reason alone.
        showErrorBox(this, qtext(file_error_text(result.error)));
        break;
      }
      [[fallthrough]];
    default:
      showPlainMessage(this, qtext(kNotSavedMessage));
      break;
  }
}

SaveResult MainWindow::runWriter(int filter_index, const QString& path) {
  const std::string magnification = Edit1->text().toStdString();
  const auto extension = output_extension(filter_index, settings_.ZahyouExt);
  const std::filesystem::path target =
      fsPath(extension ? QString::fromStdString(replace_extension(path.toStdString(), *extension))
                       : path);
  const ConversionSettings& s = settings_;
  switch (filter_index) {
    case kSaveTypeText:
      return SaveTXT(target, TextSaveInput{magnification, conversion_.records(), s.ZahyouDiv, s.ZahyouReal},
                     *Form4);
    case kSaveTypeDxf: {
      const DxfOptions options{s.DxfReal, s.DxfOption1, s.DxfOption1_Len, s.DxfOption2};
      DxfHeaderTemplate header = Form5->headerTemplate();
      const DxfHeaderTemplate before = header;
      const SaveResult result = SaveDXF(target, DxfSaveInput{magnification, conversion_.records(), options},
                                        header, Form5->headerPath(), *Form4);
      if (!(header == before)) Form5->setHeaderTemplate(header);
      return result;
    }
    case kSaveTypeJwc: {
      const JwcOptions options{s.JwcGroupe,  s.JwcLayer,       s.JwcColor,       s.JwcType,
                               s.JwcOption1, s.JwcOption1_Len, s.JwcOption1_Lay, s.JwcOption2,
                               s.JwcOption2_X, s.JwcOption2_Y,  s.JwcOption2_R};
      return SaveJWC(target, JwcSaveInput{magnification, conversion_.records(), options}, *Form4);
    }
    case kSaveTypeSvg: {
      const DxfOptions options{s.DxfReal, s.DxfOption1, s.DxfOption1_Len, s.DxfOption2};
      return SaveSVG(target, SvgSaveInput{magnification, conversion_.records(), options}, *Form4);
    }
    default:
      return SaveResult{1, SaveFailure::Create, std::make_error_code(std::errc::invalid_argument)};
  }
}

// --- The other commands ----------------------------------------------------

void MainWindow::Button4Click() {
  if (busy_ || Form3 == nullptr) return;
  if (Form3->exec() != QDialog::Accepted) return;
  Edit1->setText(Form3->resultText());
  settings_.SCALE = Form3->scaleText().toStdString();
  settings_.DPI = Form3->dpiText().toStdString();
}

void MainWindow::N3Click() {
  if (busy_ || Form5 == nullptr) return;
  Form5->edit(settings_);
  // The layers and the decimals of the sizes follow the DXF settings.
  Form7->setDxfOptions(dxfOptions());
  updateTrueSize();
}

// --- The preview and the true size -----------------------------------------

DxfOptions MainWindow::dxfOptions() const {
  return DxfOptions{settings_.DxfReal, settings_.DxfOption1, settings_.DxfOption1_Len, settings_.DxfOption2};
}

void MainWindow::Preview1Click() {
  if (busy_ || !Preview1->isEnabled()) return;
  if (!Form7->hasDrawing()) {
    PreviewWindow::Drawing drawing;
    try {
      drawing.records.assign(conversion_.records().begin(), conversion_.records().end());
      drawing.special = conversion_.special_points();
    } catch (const std::bad_alloc&) {
      showPlainMessage(this, qtext(messages::kOutOfMemory));
      return;
    }
    drawing.grid_width = conversion_.grid().width();
    drawing.grid_height = conversion_.grid().height();
    drawing.loaded = loaded_ink_;
    drawing.ink = cleaned_ink_;
    // The grid stays as the conversion left it until the next one, which
    // clears the preview before it starts.
    const PixelGrid* grid = &conversion_.grid();
    drawing.thinned = [grid] { return planeOfGrid(*grid); };
    Form7->setDxfOptions(dxfOptions());
    Form7->setMagnificationText(Edit1->text());
    Form7->setDrawing(std::move(drawing));
  }
  Form7->show();
  Form7->raise();
  Form7->activateWindow();
}

void MainWindow::Label6DblClick() { Preview1Click(); }

void MainWindow::Edit1Change() { updateTrueSize(); }

void MainWindow::updateTrueSize() {
  if (!Save1->isEnabled()) {
    Label6->setToolTip(QString());  // no conversion in hand
    return;
  }
  Label6->setToolTip(trueSizeText(conversion_.records(), Edit1->text(), settings_.DxfReal, true));
  if (Form7 != nullptr) Form7->setMagnificationText(Edit1->text());
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Label6 && event->type() == QEvent::MouseButtonDblClick) {
    Label6DblClick();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::N2Click() {
  if (busy_ || Form6 == nullptr) return;
  Form6->exec();
}

void MainWindow::Exit1Click() { close(); }

void MainWindow::closeEvent(QCloseEvent* event) {
  if (busy_) {
    event->ignore();  // a conversion or a save still uses the state
    return;
  }
  FormClose();
  QMainWindow::closeEvent(event);
}

void MainWindow::FormClose() {
  Form7->close();
  Form7->clearDrawing();
  conversion_.lines().release();
  settings_.Left = x();
  settings_.Top = y();
  settings_.Loop = SpinEdit1->currentValue();
  settings_.Rate = Edit1->text().toStdString();
  save_settings(settings_, storage_);
}

}  // namespace vp::gui

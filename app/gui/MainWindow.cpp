#include "app/gui/MainWindow.h"

#include "export/save_file.h"
#include "imageio/image_formats.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QMenuBar>

#include <algorithm>
#include <new>
#include <string_view>

#include "app/gui/PreviewWindow.h"
#include "app/gui/StartFolders.h"
#include "core/export_settings.h"
#include "core/messages.h"
#include "core/outcome.h"
#include "dialogs/FormSupport.h"
#include "dialogs/MessageBoxes.h"
#include "dialogs/PageDialog.h"
#include "dialogs/Pictures.h"
#include "dialogs/ProgressDialog.h"
#include "dialogs/SavingDialog.h"
#include "dialogs/ScaleCalculatorDialog.h"
#include "dialogs/SettingsDialog.h"
#include "dialogs/VersionDialog.h"
#include "export/atomic_file.h"
#include "export/dxf_header.h"

namespace vp::gui {
namespace {

constexpr int kClientWidth = 340;
constexpr int kClientHeight = 244;
const QString kFileNameCaption = QStringLiteral("ﾌｧｲﾙ名:");
// Follows messages::kGreyScanNotice, on a line of its own.
constexpr std::string_view kScanAdvice = "\n\r「せってい」の「スキャン」で「おまかせ（auto）」をえらんでみてね。";

std::filesystem::path fsPath(const QString& path) { return std::filesystem::path(path.toStdU16String()); }

}  // namespace

MainWindow::MainWindow(SettingsStorage& storage, const QString& program_folder, DxfHeaderPlaces header_places,
                       QWidget* parent)
    : QMainWindow(parent),
      storage_(storage),
      program_folder_(program_folder),
      dxf_header_(std::move(header_places)),
      conversion_(any_image_reader_factory()) {
  setObjectName(QStringLiteral("TForm1"));
  setWindowTitle(QStringLiteral("Velorin Pelkin Ⅱ"));
  setWindowIcon(windowIcon());
  buildControls();
  buildMenu();
  makeFixedWindow(this, kClientWidth, menuBar()->sizeHint().height() + kClientHeight, true);
  setWindowFlags(windowFlags() | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);

  open_dialog_ = new QFileDialog(this);
  open_dialog_->setObjectName(QStringLiteral("OpenDialog1"));
  open_dialog_->setOption(QFileDialog::DontUseNativeDialog);
  open_dialog_->setOption(QFileDialog::HideNameFilterDetails);
  open_dialog_->setAcceptMode(QFileDialog::AcceptOpen);
  open_dialog_->setFileMode(QFileDialog::ExistingFile);
  open_dialog_->setNameFilters(openFilters());
  fitFileColumns(open_dialog_);
  save_dialog_ = new SaveFileDialog(this);
  // A child window: disabled with the main window while a conversion or a save runs.
  preview_ = new PreviewWindow(this);
  connect(preview_, &PreviewWindow::magnificationPicked, this, [this](const QString& text) {
    if (!busy_) magnification_edit_->setText(text);
  });
  conversion_.set_reader_factory(ink_copy_.wrap(any_image_reader_factory()));
  conversion_.set_ink_observer(ink_copy_.inkObserver());

  // The LineData storage exists already (the conversion made it).
  settings_ = load_settings_checked(storage_, program_folder_.toStdString());
  // An installed program's folder cannot take a save: the first one would fail.
  chooseStartFolders(settings_, program_folder_);
  move(settings_.Left, settings_.Top);
  passes_spin_->setValue(clamp_pass_count(settings_.Loop));
  magnification_edit_->setText(QString::fromStdString(settings_.Rate));
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

  auto* open_button = makeButton(client, "Button1", QStringLiteral("ふぁいるをひらく"), QRect(64, 32, 97, 33));
  outcome_label_ = makeWrappedLabel(client, "Label6", QStringLiteral("VelorinPelkinⅡ"), QRect(180, 56, 133, 69));
  outcome_label_->setAlignment(Qt::AlignCenter);
  outcome_label_->setAutoFillBackground(true);
  QPalette white = outcome_label_->palette();
  white.setColor(QPalette::Window, Qt::white);
  outcome_label_->setPalette(white);

  magnification_edit_ = place(new QLineEdit(client), "Edit1", 64, 100, 93, 20);
  // No label beside it: screen readers take the menu's name for it.
  magnification_edit_->setAccessibleName(QStringLiteral("ばいりつ"));
  connect(magnification_edit_, &QLineEdit::textChanged, this, &MainWindow::magnificationChanged);
  outcome_label_->installEventFilter(this);
  auto* calculator_button = makeButton(client, "Button4", QStringLiteral("けいさん"), QRect(92, 124, 65, 21));
  save_button_ = makeButton(client, "Button3", QStringLiteral("でーたのほぞん"), QRect(64, 172, 97, 33));
  save_button_->setEnabled(false);
  makeLabel(client, "Label5", QStringLiteral("バナナの本数"), 184, 196);
  passes_spin_ = place(new SpinEdit(client), "SpinEdit1", 260, 192, 45, 21);
  passes_spin_->setRange(1, 100);
  passes_spin_->setAccessibleName(QStringLiteral("バナナの本数"));

  status_bar_ = place(new QStatusBar(client), "StatusBar1", 0, 225, kClientWidth, 19);
  status_bar_->setSizeGripEnabled(false);
  // One simple panel. Placed by hand: the bar's own layout would leave the
  // text less than a line's height.
  status_text_ = place(new QLabel(kFileNameCaption, status_bar_), "SimpleText", 3, 1, kClientWidth - 6, 18);
  status_text_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  connect(open_button, &QPushButton::clicked, this, &MainWindow::openCommand);
  connect(save_button_, &QPushButton::clicked, this, &MainWindow::saveCommand);
  connect(calculator_button, &QPushButton::clicked, this, &MainWindow::showScaleCalculator);
  setTabOrder(open_button, passes_spin_);
  setTabOrder(passes_spin_, save_button_);
  setTabOrder(save_button_, calculator_button);
  setTabOrder(calculator_button, magnification_edit_);
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
  item(file, "Open1", QStringLiteral("ひらく&O)"), &MainWindow::openCommand);
  item(file, "T1", QStringLiteral("ばいりつ(&R)"), &MainWindow::showScaleCalculator);
  save_action_ = item(file, "Save1", QStringLiteral("ほぞん(&S)"), &MainWindow::saveCommand);
  save_action_->setEnabled(false);
  preview_action_ = item(file, "Preview1", QStringLiteral("ぷれびゅー(&P)"), &MainWindow::showPreview);
  preview_action_->setEnabled(false);
  file->addSeparator()->setObjectName(QStringLiteral("N1"));
  item(file, "Exit1", QStringLiteral("おわり(&X)"), &MainWindow::exitProgram);

  QAction* settings = bar->addAction(QStringLiteral("せってい(&S)"));
  settings->setObjectName(QStringLiteral("N3"));
  connect(settings, &QAction::triggered, this, &MainWindow::showSettings);

  QMenu* help = bar->addMenu(QStringLiteral("へるぷ(&H)"));
  help->setObjectName(QStringLiteral("H1"));
  item(help, "N2", QStringLiteral("ばーじょんじょうほう(&A)"), &MainWindow::showVersion);
}

void MainWindow::attachDialogs(ProgressDialog* progress, ScaleCalculatorDialog* scale_calculator, SavingDialog* saving,
                               SettingsDialog* settings_dialog, VersionDialog* version) {
  progress_dialog_ = progress;
  scale_calculator_ = scale_calculator;
  saving_dialog_ = saving;
  settings_dialog_ = settings_dialog;
  version_dialog_ = version;
  progress_dialog_->attach(this);
  saving_dialog_->attach(this);
}

void MainWindow::setStatus(const QString& text) { setElidedText(status_text_, text); }

void MainWindow::setSaveEnabled(bool enabled) {
  save_button_->setEnabled(enabled);
  save_action_->setEnabled(enabled);
  preview_action_->setEnabled(enabled);
}

// --- The open command ------------------------------------------------------

void MainWindow::openCommand() {
  if (busy_ || progress_dialog_ == nullptr) return;
  open_dialog_->setDirectory(QString::fromStdString(settings_.OpenDir));
  if (open_dialog_->exec() != QDialog::Accepted || open_dialog_->selectedFiles().isEmpty()) return;
  convert(open_dialog_->selectedFiles().constFirst(), true);
}

void MainWindow::convert(const QString& path, bool announce) {
  if (busy_ || progress_dialog_ == nullptr) return;
  // A file of several pages: which one, asked before anything is let go.
  const OpenedImage first_page = open_any_image(localPath(path));
  const int pages = first_page.reader ? std::max(first_page.reader->page_count(), 1) : 1;
  // Said before the conversion reports the file as not supported.
  if (first_page.reader && first_page.reader->password_protected())
    showPlainMessage(this, qtext(messages::kPasswordProtected));
  int page = 1;
  if (pages > 1) {
    if (page_dialog_ == nullptr) page_dialog_ = new PageDialog(this);
    page_dialog_->setPageCount(pages);
    if (page_dialog_->exec() != QDialog::Accepted) return;
    page = page_dialog_->page();
  }
  page_in_hand_ = pages > 1 ? page : 0;
  const PageChoice choice{page - 1, settings_.PdfDpi};
  conversion_.set_reader_factory(ink_copy_.wrap(any_image_reader_factory(choice)));
  setStatus(kFileNameCaption + QFileInfo(path).fileName() +
            (page_in_hand_ > 0 ? QStringLiteral(" ") + pageText(page_in_hand_) : QString()));
  // What the preview shows comes from the table and the grid that the
  // conversion is about to replace: it lets go of them first.
  const bool previewOpen = preview_->isVisible();
  preview_->hide();
  preview_->clearDrawing();
  loaded_ink_.reset();
  loaded_grey_.reset();
  cleaned_ink_.reset();
  ink_copy_.clear();

  const int passes = passes_spin_->currentValue();
  passes_spin_->setValue(passes);
  busy_ = true;
  last_conversion_ = conversion_.ChangeImage(localPath(path), passes, *progress_dialog_, settings_);
  busy_ = false;
  loaded_ink_ = ink_copy_.take();
  cleaned_ink_ = ink_copy_.takeInk();
  if (!last_conversion_.done()) {
    loaded_ink_.reset();
    cleaned_ink_.reset();
  } else if (foundNextToNoInk()) {
    // The user is to judge the scan: the preview shows it as it was read.
    loaded_grey_ = readGreyPicture(any_image_reader_factory(choice), localPath(path));  // the page converted
  }
  reportConversion(path, announce);
  if (announce && last_conversion_.done()) adviseOnScan();
  if (previewOpen && last_conversion_.done()) showPreview();
}

void MainWindow::reportConversion(const QString& path, bool announce) {
  const OutcomeText& text = outcome_text(last_conversion_.outcome);
  // An image of an unsupported kind is named as such before anything else.
  if (!text.notice.empty()) showPlainMessage(this, qtext(text.notice));
  if (last_conversion_.done()) {
    const QFileInfo info(path);
    settings_.OpenDir = QDir::toNativeSeparators(info.absolutePath() + u'/').toStdString();
    opened_file_name_ = info.fileName();
    // What saving writes: the fitted lines, arcs and circles with Cad on.
    const std::size_t count =
        last_conversion_.cad ? conversion_.cad_drawing().entity_count() : std::size_t(last_conversion_.segments);
    outcome_label_->setText(QString::number(count) + qtext(text.label));
    setSaveEnabled(true);
    updateTrueSize();
    if (announce) showPlainMessage(this, qtext(text.message) + formatElapsed(progress_dialog_->elapsedMs()));
    return;
  }
  setStatus(kFileNameCaption + u'-');
  setSaveEnabled(false);
  updateTrueSize();
  outcome_label_->setText(displayText(qtext(text.label)));
  if (announce) showPlainMessage(this, qtext(text.message));
}

// Under 0.05 % of the image's pixels, as the advice on scans counts them.
bool MainWindow::foundNextToNoInk() const {
  const PixelGrid& grid = conversion_.grid();
  const std::int64_t pixels = std::int64_t{std::max(grid.width() - 2, 0)} * std::max(grid.height() - 2, 0);
  return last_conversion_.scan.ink_pixels * 10000 < pixels * 5;
}

// The reader's own rule found next to no ink in what looks like a grey or
// colour scan: the lines are few or none, and the スキャン tab has the remedy.
void MainWindow::adviseOnScan() {
  if (!last_conversion_.scan.grey_scan_without_ink) return;
  showPlainMessage(this, qtext(messages::kGreyScanNotice) + qtext(kScanAdvice));
}

// --- The save command ------------------------------------------------------

void MainWindow::saveCommand() {
  if (busy_ || saving_dialog_ == nullptr || !save_button_->isEnabled()) return;
  // The last save's type and folder, and the converted image's name with that
  // type's extension, so that a repeated save needs only a click. A SaveMode
  // that names no format leaves the type and the name as they were.
  save_dialog_->setFilterIndex(settings_.SaveMode);
  save_dialog_->setDirectory(QString::fromStdString(settings_.SaveDir));
  if (const auto extension = default_extension(settings_.SaveMode, settings_.ZahyouExt)) {
    save_dialog_->selectFile(QString::fromStdString(replace_extension(opened_file_name_.toStdString(), *extension)));
  }
  if (save_dialog_->exec() != QDialog::Accepted || save_dialog_->selectedFiles().isEmpty()) return;
  // The chosen name with the type's extension, as the existence test sees it.
  const int index = save_dialog_->filterIndex();
  QString path = QDir::toNativeSeparators(save_dialog_->selectedFiles().constFirst());
  if (const auto extension = default_extension(index, settings_.ZahyouExt)) {
    path = QString::fromStdString(replace_extension(path.toStdString(), *extension));
  }
  // Never over the image the lines came from, compared under the name the file
  // will really get: the drawing would be lost.
  const QString converted = QDir::fromNativeSeparators(QString::fromStdString(settings_.OpenDir)) + opened_file_name_;
  const auto written_extension = output_extension(index, settings_.ZahyouExt);
  const QString written =
      written_extension ? QString::fromStdString(replace_extension(path.toStdString(), *written_extension)) : path;
  if (namesSameFile(written, converted)) return showErrorBox(this, convertedImageMessage(written));
  if (fileExistsIgnoringCase(path) && !askWarningYesNo(this, overwriteQuestion(path))) return;
  // The dialog offers the same name next time.
  save_dialog_->selectFile(path);
  busy_ = true;
  const SaveResult result = runWriter(index, path);
  busy_ = false;
  // Only a successful save moves the next save's folder and type.
  if (result.written()) {
    showPlainMessage(this, qtext(kSavedMessage));
    settings_.SaveDir = folderPart(path).toStdString();
    settings_.SaveMode = index;
    return;
  }
  const ExportFormat* format = format_by_filter_index(index);
  if (format == nullptr) return showPlainMessage(this, qtext(kNotSavedMessage));
  if (const auto failure = save_failure_text(*format, result)) {
    if (failure->system_reason) {
      showErrorBox(this, qtext(failure->text));
    } else {
      showPlainMessage(this, qtext(failure->text));
    }
  }
}

SaveResult MainWindow::runWriter(int filter_index, const QString& path) {
  const ExportFormat* format = format_by_filter_index(filter_index);
  if (format == nullptr) return SaveResult{SaveFailure::Create, std::make_error_code(std::errc::invalid_argument)};
  const std::span<const LineRecord> records = conversion_.records();
  // With Cad on the fitted drawing is what is saved.
  const bool cad = last_conversion_.cad;
  const cad::CadDrawing& fitted = conversion_.cad_drawing();
  // The magnification is read once, here, before the template or the file.
  const std::string magnification = magnification_edit_->text().toStdString();
  const std::optional<float> rate = cad ? accept_magnification(*format, magnification, fitted, *saving_dialog_)
                                        : accept_magnification(*format, magnification, records, *saving_dialog_);
  if (!rate) return SaveResult{SaveFailure::InvalidRate, {}};
  DxfHeaderTemplate header;
  if (format->uses_dxf_header) {
    // The file as it is now, when there is one; otherwise the lines the model holds.
    header = dxf_header_.header();
    const DxfHeaderTemplate before = header;
    const std::filesystem::path template_path = dxf_header_.path();
    if (!template_path.empty()) {
      const DxfHeaderLoadResult loaded = reload_dxf_header(template_path, header);
      if (loaded.outcome == DxfHeaderLoad::Unreadable) {
        saving_dialog_->show_message(dxf_header_unreadable_message(template_path));
        return SaveResult{SaveFailure::Template, loaded.error};
      }
      if (!(header == before)) dxf_header_.setHeader(header);
    }
  }
  const auto extension = output_extension(filter_index, settings_.ZahyouExt);
  const std::filesystem::path target =
      fsPath(extension ? QString::fromStdString(replace_extension(path.toStdString(), *extension)) : path);
  const ExportOptions options = export_options(settings_, header.bytes());
  if (cad) return save_file(*format, target, fitted, *rate, options, *saving_dialog_);
  return save_file(*format, target, records, *rate, options, *saving_dialog_);
}

// --- The other commands ----------------------------------------------------

void MainWindow::showScaleCalculator() {
  if (busy_ || scale_calculator_ == nullptr) return;
  if (scale_calculator_->exec() != QDialog::Accepted) return;
  magnification_edit_->setText(scale_calculator_->resultText());
  settings_.SCALE = scale_calculator_->scaleText().toStdString();
  settings_.DPI = scale_calculator_->dpiText().toStdString();
}

void MainWindow::showSettings() {
  if (busy_ || settings_dialog_ == nullptr) return;
  settings_dialog_->edit(settings_);
  // The layers and the decimals of the sizes follow the DXF settings.
  preview_->setDxfOptions(dxfOptions());
  updateTrueSize();
}

// --- The preview and the true size -----------------------------------------

DxfOptions MainWindow::dxfOptions() const {
  return DxfOptions{settings_.DxfReal, settings_.DxfOption1, settings_.DxfOption1_Len, settings_.DxfOption2};
}

void MainWindow::showPreview() {
  if (busy_ || !preview_action_->isEnabled()) return;
  if (!preview_->hasDrawing()) {
    PreviewWindow::Drawing drawing;
    try {
      drawing.records.assign(conversion_.records().begin(), conversion_.records().end());
      drawing.special = conversion_.special_points();
      if (last_conversion_.cad) drawing.cad = conversion_.cad_drawing();
    } catch (const std::bad_alloc&) {
      showPlainMessage(this, qtext(messages::kOutOfMemory));
      return;
    }
    drawing.grid_width = conversion_.grid().width();
    drawing.grid_height = conversion_.grid().height();
    drawing.loaded = loaded_ink_;
    drawing.grey = loaded_grey_;
    drawing.ink = cleaned_ink_;
    // The grid stays as the conversion left it until the next one, which
    // clears the preview before it starts.
    const PixelGrid* grid = &conversion_.grid();
    drawing.thinned = [grid] { return planeOfGrid(*grid); };
    preview_->setDxfOptions(dxfOptions());
    preview_->setMagnificationText(magnification_edit_->text());
    preview_->setDrawing(std::move(drawing));
  }
  preview_->show();
  preview_->raise();
  preview_->activateWindow();
}

void MainWindow::outcomeDoubleClicked() { showPreview(); }

void MainWindow::magnificationChanged() { updateTrueSize(); }

void MainWindow::updateTrueSize() {
  if (!save_action_->isEnabled()) {
    outcome_label_->setToolTip(QString());  // no conversion in hand
    return;
  }
  const QString page = page_in_hand_ > 0 ? pageText(page_in_hand_) + u'\n' : QString();
  if (last_conversion_.cad) {
    const cad::CadDrawing& fitted = conversion_.cad_drawing();
    outcome_label_->setToolTip(page + trueSizeText(fitted, magnification_edit_->text(), settings_.DxfReal, true) +
                               u'\n' + skewText(fitted));
  } else {
    outcome_label_->setToolTip(
        page + trueSizeText(conversion_.records(), magnification_edit_->text(), settings_.DxfReal, true));
  }
  if (preview_ != nullptr) preview_->setMagnificationText(magnification_edit_->text());
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == outcome_label_ && event->type() == QEvent::MouseButtonDblClick) {
    outcomeDoubleClicked();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::showVersion() {
  if (busy_ || version_dialog_ == nullptr) return;
  version_dialog_->exec();
}

void MainWindow::exitProgram() { close(); }

void MainWindow::closeEvent(QCloseEvent* event) {
  if (busy_) {
    event->ignore();  // a conversion or a save still uses the state
    return;
  }
  writeBackOnClose();
  QMainWindow::closeEvent(event);
}

void MainWindow::writeBackOnClose() {
  preview_->close();
  preview_->clearDrawing();
  conversion_.lines().release();
  settings_.Left = x();
  settings_.Top = y();
  settings_.Loop = passes_spin_->currentValue();
  settings_.Rate = magnification_edit_->text().toStdString();
  save_settings(settings_, storage_);
}

}  // namespace vp::gui

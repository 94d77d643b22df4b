// The preview: its pictures (the image as loaded, the thinned grid, their
// halvings and how they are sampled, against literal versions), where it puts
// the grid on the screen, the lines it shows with the writers' layers, the
// drawing's size against the coordinates a saved file holds, and the two-point
// scale against the scale calculator, driven through the program as a user would.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QWheelEvent>
#include <cmath>
#include <numbers>
#include <random>
#include <sstream>

#include "app/gui/InkPlane.h"
#include "app/gui/PreviewModel.h"
#include "app/gui/PreviewWindow.h"
#include "app/gui/Program.h"
#include "app/gui/QtSettingsStorage.h"
#include "core/conversion.h"
#include "core/export_settings.h"
#include "core/scale.h"
#include "dialogs/FormSupport.h"
#include "dialogs/ReferenceDistanceDialog.h"
#include "export/dxf_header.h"
#include "export/dxf_writer.h"
#include "imageio/image_formats.h"
#include "support/GuiTestSupport.h"
#include "tests/support/written_bytes.h"

using namespace vp;
using namespace vp::gui;
using namespace vp::gui::testing;

namespace {

InkPlane randomPlane(std::int32_t width, std::int32_t height, std::uint32_t seed, double density) {
  InkPlane plane;
  plane.reset(width, height);
  std::mt19937 random(seed);
  std::bernoulli_distribution ink(density);
  for (std::int32_t y = 0; y < height; ++y)
    for (std::int32_t x = 0; x < width; ++x)
      if (ink(random)) plane.set(x, y);
  return plane;
}

// One LINE entity of a DXF file: its layer and its four coordinate texts.
struct DxfLine {
  QString layer;
  QStringList coordinates;  // x1, y1, x2, y2 as written
};

QList<DxfLine> dxfLines(const QByteArray& bytes) {
  const QStringList lines = QString::fromLatin1(bytes).split(QStringLiteral("\r\n"));
  QList<DxfLine> found;
  for (qsizetype i = 0; i + 15 < lines.size(); ++i) {
    if (lines[i] != QStringLiteral("LINE")) continue;
    DxfLine line{lines[i + 2], {}};
    for (qsizetype k : {8, 10, 12, 14}) line.coordinates << lines[i + k].mid(3);
    found << line;
  }
  return found;
}

// A decimal text as an integer count of its last decimal place.
qint64 scaled(const QString& text, int decimals) {
  QString digits = text;
  const qsizetype point = digits.indexOf(u'.');
  if (point >= 0) digits.remove(point, 1);
  const int have = point >= 0 ? static_cast<int>(text.size() - point - 1) : 0;
  qint64 value = digits.toLongLong();
  for (int i = have; i < decimals; ++i) value *= 10;
  return value;
}

// Whether `colour` is drawn within a pixel of `at`.
bool colourNear(const QImage& image, QPointF at, QColor colour) {
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx) {
      const QPoint p(static_cast<int>(std::floor(at.x())) + dx, static_cast<int>(std::floor(at.y())) + dy);
      if (image.rect().contains(p) && QColor(image.pixel(p)) == colour) return true;
    }
  return false;
}

}  // namespace

class PreviewTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<ScratchSettings> settings_;
  std::unique_ptr<QTemporaryDir> folder_;
  std::unique_ptr<QtSettingsStorage> storage_;
  std::unique_ptr<Program> program_;
  std::unique_ptr<ModalAnswerer> answerer_;

  QString path(const QString& name) const { return folder_->filePath(name); }
  MainWindow& mainWindow() { return program_->mainWindow(); }
  PreviewWindow& preview() { return *mainWindow().preview(); }
  QAction* action(const char* name) { return child<QAction>(&mainWindow(), name); }

  void start() {
    settings_->setRawValue("FirstUp", "1");
    storage_ = std::make_unique<QtSettingsStorage>();
    program_ = startProgram(*storage_, QDir::toNativeSeparators(folder_->path() + u'/'));
    QVERIFY(QTest::qWaitForWindowExposed(&mainWindow()));
  }
  void setRate(const QString& text) { child<QLineEdit>(&mainWindow(), "Edit1")->setText(text); }
  // Converts through the open command; the completion message is answered.
  void openFile(const QString& file, int passes) {
    child<QSpinBox>(&mainWindow(), "SpinEdit1")->setValue(passes);
    answerer_->thenChooseFile(file);
    QTest::mouseClick(child<QPushButton>(&mainWindow(), "Button1"), Qt::LeftButton);
  }
  void openPreview() {
    action("Preview1")->trigger();
    QVERIFY(QTest::qWaitForWindowExposed(&preview()));
  }
  static Conversion reference(const QString& file, int passes, const ConversionSettings& settings) {
    return referenceConversion(localPath(file), passes, settings);
  }

 private slots:
  void initTestCase() {
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("VelorinPelkin"));
    QApplication::setFont(interfaceFont());
  }

  void init() {
    settings_ = std::make_unique<ScratchSettings>();
    folder_ = std::make_unique<QTemporaryDir>();
    answerer_ = std::make_unique<ModalAnswerer>();
  }

  void cleanup() {
    program_.reset();
    storage_.reset();
    answerer_.reset();
    folder_.reset();
    settings_.reset();
  }

  // --- Pictures ---------------------------------------------------------------

  // The word-wide halving against the literal OR of each 2 × 2 block, and the
  // levels down to the smallest.
  void halvingMatchesLiteralBlocks() {
    const QList<QSize> sizes = {{1, 1}, {63, 5}, {64, 64}, {65, 3}, {130, 77}, {257, 300}, {700, 90}};
    std::uint32_t seed = 1;
    for (const QSize& size : sizes) {
      for (const double density : {0.002, 0.3}) {
        const InkPlane plane = randomPlane(size.width(), size.height(), seed++, density);
        const InkPlane half = halved(plane);
        QCOMPARE(half.width(), (size.width() + 1) / 2);
        QCOMPARE(half.height(), (size.height() + 1) / 2);
        for (std::int32_t y = 0; y < half.height(); ++y)
          for (std::int32_t x = 0; x < half.width(); ++x) {
            const bool any = plane.at(2 * x, 2 * y) || plane.at(2 * x + 1, 2 * y) || plane.at(2 * x, 2 * y + 1) ||
                             plane.at(2 * x + 1, 2 * y + 1);
            if (half.at(x, y) != any)
              QFAIL(
                  qPrintable(QStringLiteral("cell %1,%2 of %3x%4").arg(x).arg(y).arg(size.width()).arg(size.height())));
          }
        // Nothing beyond the width: the bits there stay clear.
        for (std::int32_t y = 0; y < half.height(); ++y) {
          const std::int32_t tail = half.width() % 64;
          if (tail != 0) QCOMPARE(half.row(y).back() >> tail, std::uint64_t{0});
        }
        // Levels down to a single cell, each the halving of the one before.
        InkPyramid pyramid(std::make_shared<const InkPlane>(plane));
        const InkPlane& last = pyramid.level(pyramid.levelCount() - 1);
        QCOMPARE(QSize(last.width(), last.height()), QSize(1, 1));
        QVERIFY(pyramid.level(pyramid.levelCount() + 3) == last);
        for (int l = 1; l < pyramid.levelCount(); ++l) QVERIFY(pyramid.level(l) == halved(pyramid.level(l - 1)));
      }
    }
  }

  // The sampled picture against the literal rule: a screen pixel is ink when
  // any cell of the level block under its centre is; and no ink cell in sight
  // is ever lost, at any zoom.
  void renderingMatchesLiteralSampling() {
    InkPlane plane = randomPlane(900, 610, 7, 0.0005);
    for (std::int32_t x = 0; x < 900; ++x) plane.set(x, 300);  // a one-cell stroke
    const auto shared = std::make_shared<const InkPlane>(plane);
    const InkPyramid pyramid(shared);
    const QList<PreviewView> views = {PreviewView::fit(900, 610, 320, 240, 8),
                                      PreviewView{0.05, 10, 200},
                                      PreviewView{0.3, -40, 250},
                                      PreviewView{1.0, -300, 400},
                                      PreviewView{2.5, -1000, 900},
                                      PreviewView{7.0, 3, 2300}};
    for (const PreviewView& view : views) {
      QImage image(320, 240, QImage::Format_ARGB32_Premultiplied);
      image.fill(Qt::transparent);
      renderInk(pyramid, view, qRgb(1, 2, 3), image);
      int level = 0;
      while (std::ldexp(view.scale, level) < 1.0 && level + 1 < pyramid.levelCount()) ++level;
      const std::int64_t block = std::int64_t{1} << level;
      for (int py = 0; py < image.height(); ++py) {
        for (int px = 0; px < image.width(); ++px) {
          const auto gx = static_cast<std::int64_t>(std::floor((px + 0.5 - view.origin_x) / view.scale));
          const auto gy = static_cast<std::int64_t>(std::floor((view.origin_y - (py + 0.5)) / view.scale));
          bool ink = false;
          if (gx >= 0 && gy >= 0) {
            const std::int64_t x0 = gx / block * block, y0 = gy / block * block;
            for (std::int64_t y = y0; y < y0 + block && !ink; ++y)
              for (std::int64_t x = x0; x < x0 + block && !ink; ++x)
                ink = plane.at(static_cast<std::int32_t>(std::min<std::int64_t>(x, INT32_MAX)),
                               static_cast<std::int32_t>(std::min<std::int64_t>(y, INT32_MAX)));
          }
          if ((image.pixel(px, py) == qRgb(1, 2, 3)) != ink)
            QFAIL(qPrintable(QStringLiteral("scale %1: pixel %2,%3").arg(view.scale).arg(px).arg(py)));
        }
      }
      // The stroke is never lost: its centre's pixel, or one beside it, is ink.
      for (std::int32_t x = 0; x < 900; x += 37) {
        const ScreenPoint s = view.toScreen({x, 300});
        if (s.x < 1 || s.y < 1 || s.x >= image.width() - 1 || s.y >= image.height() - 1) continue;
        QVERIFY(colourNear(image, {s.x, s.y}, QColor(1, 2, 3)));
      }
    }
  }

  // The copy kept while a file is read, and the thinned grid's plane, cell
  // for cell against the image and the grid.
  void loadedCopyAndThinnedPlane() {
    for (const QSize& size : {QSize(1, 1), QSize(62, 9), QSize(63, 40), QSize(64, 3), QSize(127, 50)}) {
      InkImage image = random_image(size.width(), size.height(), 11, 0.4);
      const QString file = path(QStringLiteral("copy.bmp"));
      QVERIFY(writeBmp(file, image));
      LoadedInkCopy copy;
      Conversion conversion(copy.wrap(bmp_only_reader_factory()));
      QuietHost host;
      QVERIFY(conversion.ChangeImage(localPath(file), 1, host).done());
      const std::shared_ptr<const InkPlane> loaded = copy.take();
      QVERIFY(loaded != nullptr);
      QVERIFY(copy.take() == nullptr);  // handed over
      QCOMPARE(loaded->width(), size.width() + 2);
      QCOMPARE(loaded->height(), size.height() + 2);
      const InkPlane thinned = planeOfGrid(conversion.grid());
      for (std::int32_t y = 0; y < loaded->height(); ++y) {
        for (std::int32_t x = 0; x < loaded->width(); ++x) {
          // Pixel (c, r) from the top lands in cell (c + 1, h - r); the border is background.
          const bool pixel = image.get(x - 1, size.height() - y);
          if (loaded->at(x, y) != pixel) QFAIL(qPrintable(QStringLiteral("loaded %1,%2").arg(x).arg(y)));
          if (thinned.at(x, y) != (conversion.grid().at(x, y) != 0))
            QFAIL(qPrintable(QStringLiteral("thinned %1,%2").arg(x).arg(y)));
        }
      }
    }
    // An unreadable file leaves no copy behind.
    LoadedInkCopy copy;
    Conversion conversion(copy.wrap(bmp_only_reader_factory()));
    QuietHost host;
    QVERIFY(writeBytes(path("broken.bmp"), "BM not a bitmap"));
    QVERIFY(conversion.ChangeImage(localPath(path("broken.bmp")), 1, host).outcome == Outcome::Unreadable);
    QVERIFY(copy.take() == nullptr);
  }

  // The ink background is the ink exactly as the thinning received it (after
  // the threshold rule and the removal of specks), cell for cell against the
  // driver's own. Where it is the image as loaded, both are one copy; a grey
  // reading keeps no copy of the image as loaded.
  void inkBackground_data() {
    QTest::addColumn<QString>("kind");  // "bmp": dots strewn over a drawing
    QTest::addColumn<int>("rule");      // ScanThreshold
    QTest::addColumn<int>("speck");
    QTest::addColumn<bool>("loadedKept");
    QTest::addColumn<bool>("shared");
    QTest::newRow("bitmap as it is") << "bmp" << 0 << 0 << true << true;
    QTest::newRow("bitmap, specks removed") << "bmp" << 0 << 3 << true << false;
    // Next to no ink: the image as loaded is shown in grey (greyPictureAfterNextToNoInk).
    QTest::newRow("grey png, nearest-black") << "grey png" << 1 << 0 << true << false;
    QTest::newRow("grey png, auto and specks") << "grey png" << 2 << 8 << false << false;
    QTest::newRow("jpeg by format") << "jpeg" << 0 << 0 << false << false;
  }

  void inkBackground() {
    QFETCH(QString, kind);
    QFETCH(int, rule);
    QFETCH(int, speck);
    QFETCH(bool, loadedKept);
    QFETCH(bool, shared);
    InkImage image = generate_drawing(300, 200, 4);
    const QString file = path(kind == "bmp" ? "scan.bmp" : kind == "jpeg" ? "scan.jpg" : "scan.png");
    if (kind == "bmp") {
      for (std::int32_t i = 0; i < 40; ++i) image.set(7 * i % 300, 13 * i % 200);
      QVERIFY(writeBmp(file, image));
    } else {
      QVERIFY(writeDegradedScan(file, image, kind));
    }
    ConversionSettings settings = default_settings("/");
    settings.ScanThreshold = rule;
    settings.ScanSpeck = speck;
    InkPlane driverInk;
    const Conversion expected = referenceScanConversion(localPath(file), 2, settings,
                                                        [&](const PixelGrid& grid) { driverInk = planeOfGrid(grid); });
    QVERIFY(!driverInk.empty());

    start();
    mainWindow().settings().ScanThreshold = rule;
    mainWindow().settings().ScanSpeck = speck;
    openFile(file, 2);
    QVERIFY(std::ranges::equal(mainWindow().conversion().records(), expected.records()));
    openPreview();
    auto* choice = child<QComboBox>(&preview(), "ComboBox1");
    QCOMPARE(preview().background(), loadedKept ? PreviewWindow::Background::Loaded : PreviewWindow::Background::Ink);
    const InkPyramid* loadedPicture = loadedKept ? preview().backgroundPicture() : nullptr;
    const InkPlane* loaded = loadedPicture != nullptr ? &loadedPicture->base() : nullptr;
    choice->setCurrentIndex(int(PreviewWindow::Background::Ink));
    QVERIFY(preview().backgroundPicture() != nullptr);
    const InkPlane& ink = preview().backgroundPicture()->base();
    QVERIFY(ink == driverInk);
    QCOMPARE(&ink == loaded, shared);
    if (loaded != nullptr && !shared) QVERIFY(!(ink == *loaded));
  }

  // After a conversion that found next to no ink, "よみこんだ画像" is the image
  // as it was read, in grey, pixel for pixel where the screen shows it; after
  // one that found the drawing, no grey copy is made.
  void greyPictureAfterNextToNoInk_data() {
    QTest::addColumn<int>("rule");  // ScanThreshold
    QTest::addColumn<bool>("grey");
    QTest::newRow("nearest-black finds next to no ink") << 1 << true;
    QTest::newRow("by format: auto finds the drawing") << 0 << false;
  }

  void greyPictureAfterNextToNoInk() {
    QFETCH(int, rule);
    QFETCH(bool, grey);
    const QString file = path("scan.png");
    QVERIFY(writeDegradedScan(file, generate_drawing(300, 200, 4), "grey png"));
    const QImage read = QImage(file).convertToFormat(QImage::Format_Grayscale8);
    start();
    mainWindow().settings().ScanThreshold = rule;
    openFile(file, 2);
    openPreview();
    const GreyPicture* picture = preview().greyPicture();
    QCOMPARE(picture != nullptr, grey);
    if (!grey) {
      QCOMPARE(preview().background(), PreviewWindow::Background::Ink);
      return;
    }
    QCOMPARE(preview().background(), PreviewWindow::Background::Loaded);
    QVERIFY(preview().backgroundPicture() == nullptr);
    QCOMPARE(picture->factor, 1);
    // Two screen pixels a cell: image pixel (c, r) is in cell (c + 1, h - r).
    const std::int32_t h = read.height();
    PreviewView view;
    view.scale = 2;
    view.origin_y = preview().gridHeight() * 2.0;
    QImage screen(preview().gridWidth() * 2, preview().gridHeight() * 2, QImage::Format_ARGB32_Premultiplied);
    screen.fill(Qt::transparent);
    renderGrey(*picture, view, screen);
    for (std::int32_t r = 0; r < h; r += 7) {
      for (std::int32_t c = 0; c < read.width(); c += 5) {
        const int level = read.constScanLine(r)[c];
        QCOMPARE(int(picture->atImage(c, r)), level);
        QCOMPARE(screen.pixel(2 * (c + 1), int(view.origin_y) - 2 * (h - r) - 1), qRgb(level, level, level));
      }
    }
    QCOMPARE(qAlpha(screen.pixel(0, 0)), 0);  // the border is not the image
  }

  // A picture wider than kLongestSide: each pixel the rounded mean of the
  // factor x factor pixels it covers, the last ones of the fewer left over.
  void greyPictureReduced() {
    QImage image(2 * GreyPicture::kLongestSide + 4, 5, QImage::Format_Grayscale8);
    for (int r = 0; r < image.height(); ++r)
      for (int c = 0; c < image.width(); ++c) image.scanLine(r)[c] = static_cast<uchar>((c * 7 + r * 31) % 256);
    QVERIFY(image.save(path("wide.png"), "PNG"));
    const auto picture = readGreyPicture(any_image_reader_factory(), localPath(path("wide.png")));
    QVERIFY(picture != nullptr);
    QCOMPARE(picture->factor, 3);
    QCOMPARE(picture->width, (image.width() + 2) / 3);
    QCOMPARE(picture->height, 2);
    const auto mean = [&](int x, int y) {
      int sum = 0, n = 0;
      for (int r = 3 * y; r < std::min(3 * y + 3, image.height()); ++r)
        for (int c = 3 * x; c < std::min(3 * x + 3, image.width()); ++c, ++n) sum += image.constScanLine(r)[c];
      return (sum + n / 2) / n;
    };
    for (const auto& [x, y] : {std::pair{0, 0}, std::pair{100, 0}, std::pair{100, 1}, std::pair{picture->width - 1, 1}})
      QCOMPARE(int(picture->levels[static_cast<std::size_t>(y * picture->width + x)]), mean(x, y));
    QVERIFY(readGreyPicture(any_image_reader_factory(), localPath(path("missing.png"))) == nullptr);
  }

  // An image stored turned: what the preview shows of it as it was read (the
  // copy kept while reading, and the grey picture) stands upright as the grid does.
  void turnedImageStandsUprightInThePreview() {
    // Reads as the inner reader does, but says its rows are stored turned.
    struct Turned final : ImageReader {
      Turned(std::unique_ptr<ImageReader> in, int tag) : inner(std::move(in)), tag(tag) {}
      ImageStatus open(const std::string& p) override {
        const ImageStatus status = inner->open(p);
        (turned = inner->info()).orientation = tag;
        return status;
      }
      const ImageInfo& info() const override { return turned; }
      ImageStatus read_rows(const InkRowSink& sink) override { return inner->read_rows(sink); }
      bool has_grey_levels() const override { return inner->has_grey_levels(); }
      ImageStatus read_grey_rows(const GreyRowSink& sink) override { return inner->read_grey_rows(sink); }
      std::unique_ptr<ImageReader> inner;
      int tag;
      ImageInfo turned;
    };
    const InkImage drawn = random_image(70, 40, 5, 0.3);
    QImage grey(drawn.width, drawn.height, QImage::Format_Grayscale8);
    for (int r = 0; r < grey.height(); ++r)
      for (int c = 0; c < grey.width(); ++c) grey.scanLine(r)[c] = drawn.get(c, r) ? 0 : 255;
    const QString file = path("turned.png");
    QVERIFY(grey.save(file, "PNG"));
    for (int tag = 1; tag <= 8; ++tag) {
      const ImageReaderFactory readers = [tag](const std::string& p) -> std::unique_ptr<ImageReader> {
        return std::make_unique<Turned>(any_image_reader_factory()(p), tag);
      };
      LoadedInkCopy copy;
      Conversion conversion(copy.wrap(readers));
      conversion.set_ink_observer(copy.inkObserver());
      QuietHost host;
      ConversionSettings settings = default_settings("/");
      settings.ScanThreshold = 1;  // nearest-black: the copy is of the rows as read
      QVERIFY(conversion.ChangeImage(localPath(file), 1, host, settings).done());
      const std::shared_ptr<const InkPlane> loaded = copy.take();
      QVERIFY(loaded != nullptr);
      QVERIFY(loaded == copy.takeInk());  // the very cells the grid received: one copy
      const std::shared_ptr<const GreyPicture> picture = readGreyPicture(readers, localPath(file));
      QVERIFY(picture != nullptr);
      QCOMPARE(picture->image_width, loaded->width() - 2);
      QCOMPARE(picture->image_height, loaded->height() - 2);
      for (std::int32_t r = 0; r < picture->image_height; ++r)
        for (std::int32_t c = 0; c < picture->image_width; ++c)
          if ((picture->atImage(c, r) == 0) != loaded->at(c + 1, picture->image_height - r))
            QFAIL(qPrintable(QStringLiteral("tag %1, pixel %2,%3").arg(tag).arg(c).arg(r)));
    }
  }

  // --- The model ----------------------------------------------------------------

  void viewMapping() {
    // Fitting: the whole grid inside the margins, centred.
    const PreviewView fit = PreviewView::fit(200, 100, 420, 320, 10);
    QCOMPARE(fit.scale, 2.0);
    QCOMPARE(fit.origin_x, 10.0);
    QCOMPARE(fit.origin_y, 260.0);  // the bottom edge of cell row 0
    // y grows upwards: row 0 lowest on the screen, the top row highest.
    QCOMPARE(fit.toScreen({0, 0}).y, 259.0);
    QCOMPARE(fit.toScreen({0, 99}).y, 61.0);
    QCOMPARE(fit.toScreen({199, 0}).x, 409.0);
    const ScreenPoint back = fit.toGrid(fit.toScreen({37, 81}));
    QCOMPARE(std::floor(back.x), 37.0);
    QCOMPARE(std::floor(back.y), 81.0);
    // Zooming keeps the grid position under the pointer, within the bounds.
    struct Zoom {
      double factor, smallest, expected_scale;
    };
    for (const Zoom& z : {Zoom{2.0, 0.1, 4.0}, Zoom{0.01, 0.5, 0.5}, Zoom{1000.0, 0.1, PreviewView::kLargestScale}}) {
      const ScreenPoint at{133.0, 77.0};
      const PreviewView zoomed = fit.zoomedAt(z.factor, at, z.smallest);
      QCOMPARE(zoomed.scale, z.expected_scale);
      const ScreenPoint before = fit.toGrid(at), after = zoomed.toGrid(at);
      QVERIFY(std::abs(before.x - after.x) < 1e-9 && std::abs(before.y - after.y) < 1e-9);
    }
    // The picture level: the smallest whose cells are a pixel wide or more.
    const QList<QPair<double, int>> levels = {{64, 0}, {1, 0}, {0.99, 1}, {0.5, 1}, {0.49, 2}, {0.1, 4}, {1e-3, 10}};
    for (const auto& [scale, level] : levels) QCOMPARE(pyramidLevel(scale), level);
  }

  // The extent against the coordinates the DXF writer writes, for magnifications
  // of either sign and every choice of decimals; the length against geometry.
  void extentMatchesWrittenCoordinates() {
    std::mt19937 random(9);
    std::uniform_int_distribution<int> coordinate(1, 5000);
    std::vector<LineRecord> records;
    for (int i = 0; i < 300; ++i)
      records.push_back({coordinate(random), coordinate(random), coordinate(random), coordinate(random)});
    const DxfHeaderTemplate header = DxfHeaderTemplate::from_bytes("");
    for (const char* rate_text : {"0.254", "6.34999990", "-1.5", "0", "0.001", "25.4"}) {
      for (const int real : {0, 2, 4, 5}) {
        const float rate = *parse_rate(rate_text);
        const int decimals = DecimalDigits(real);
        ExportOptions options;
        options.dxf_decimals = decimals;
        options.dxf_header = header.bytes();
        const std::string bytes = vp::testing::written_bytes("dxf", records, rate, options);
        QList<qint64> xs, ys;
        QMap<qint64, QString> texts;
        for (const DxfLine& line : dxfLines(QByteArray::fromStdString(bytes))) {
          for (int k = 0; k < 4; ++k) {
            const qint64 v = scaled(line.coordinates[k], decimals);
            (k % 2 == 0 ? xs : ys) << v;
            texts[v] = line.coordinates[k];
          }
        }
        QCOMPARE(xs.size(), static_cast<qsizetype>(2 * records.size()));
        const std::optional<DrawingExtent> extent = drawingExtent(records, rate, decimals);
        QVERIFY(extent.has_value());
        const qint64 left = *std::min_element(xs.begin(), xs.end()), right = *std::max_element(xs.begin(), xs.end());
        const qint64 bottom = *std::min_element(ys.begin(), ys.end()), top = *std::max_element(ys.begin(), ys.end());
        const QString where = QStringLiteral("rate %1, decimals %2").arg(rate_text).arg(decimals);
        QVERIFY2(QString::fromStdString(extent->left) == texts[left], qPrintable(where));
        QVERIFY2(QString::fromStdString(extent->right) == texts[right], qPrintable(where));
        QVERIFY2(QString::fromStdString(extent->bottom) == texts[bottom], qPrintable(where));
        QVERIFY2(QString::fromStdString(extent->top) == texts[top], qPrintable(where));
        QVERIFY2(scaled(QString::fromStdString(extent->width), decimals) == right - left, qPrintable(where));
        QVERIFY2(scaled(QString::fromStdString(extent->height), decimals) == top - bottom, qPrintable(where));

        double length = 0;
        for (const LineRecord& r : records) length += std::hypot(double(r.x2 - r.x1), double(r.y2 - r.y1));
        length *= std::abs(double(rate));
        QVERIFY2(std::abs(totalLength(records, rate) - length) <= 1e-6 * length + 1e-9, qPrintable(where));
      }
    }
    QVERIFY(!drawingExtent({}, 1.0f, 4).has_value());
  }

  void twoPointArithmetic() {
    // The calculator's result for 1/100 at 400 dpi, from two ends 400 px apart.
    const std::optional<float> scale = two_point_magnification({20, 7}, {420, 7}, 2540.0f);
    QVERIFY(scale.has_value());
    QCOMPARE(QString::fromStdString(magnification_text(*scale)), QStringLiteral("6.34999990"));
    QCOMPARE(magnification_text(*scale), *scale_result_text("100", "400"));
    QCOMPARE(*scale, *magnification(100.0f, 400.0f));
    // Any direction; the distance in grid units.
    QCOMPARE(*two_point_magnification({3, 4}, {0, 0}, 10.0f), 2.0f);
    QCOMPARE(*two_point_magnification({0, 400}, {0, 0}, 2540.0f), *scale);
    QVERIFY(!two_point_magnification({5, 5}, {5, 5}, 10.0f).has_value());
    // A distance so small that millimetres per pixel round to zero is no magnification.
    QVERIFY(!two_point_magnification({0, 0}, {1000, 0}, 1e-45f).has_value());
    // What the dialog takes.
    const QList<QPair<QString, bool>> distances = {{"2540", true}, {" 2540\t", true}, {"1e3", true}, {"0.5", true},
                                                   {"0", false},   {"-5", false},     {"", false},   {"12mm", false},
                                                   {"1,5", false}, {"1e40", false}};
    for (const auto& [text, usable] : distances) QCOMPARE(parse_distance(text.toStdString()).has_value(), usable);
  }

  void snapping() {
    const std::vector<LineRecord> records = {{10, 10, 50, 10}, {50, 10, 50, 40}, {12, 10, 12, 30}};
    const PreviewView view{2.0, 0.0, 200.0};
    struct Case {
      ScreenPoint at;
      double radius;
      std::optional<GridPoint> expected;
    };
    const auto screen = [&](GridPoint p) { return view.toScreen(p); };
    const QList<Case> cases = {
        {screen({50, 40}), 5, GridPoint{50, 40}},
        {{screen({50, 40}).x + 3, screen({50, 40}).y - 4}, 5, GridPoint{50, 40}},  // 5 px away: taken
        {{screen({50, 40}).x + 3, screen({50, 40}).y - 4}, 4.9, std::nullopt},
        {screen({11, 10}), 5, GridPoint{10, 10}},  // between two ends: the first in the table
        {screen({30, 25}), 5, std::nullopt},
    };
    for (const Case& c : cases) QCOMPARE(nearestEnd(records, view, c.at, c.radius), c.expected);
  }

  // --- Through the program -------------------------------------------------------

  void previewShowsLineDataWithTheWritersLayers_data() {
    QTest::addColumn<QString>("rate");
    QTest::addColumn<int>("split");
    QTest::addColumn<int>("shortLines");
    QTest::addColumn<int>("special");
    QTest::newRow("one layer") << "0.254" << 1 << 1 << 1;
    QTest::newRow("split") << "0.254" << 2 << 1 << 1;
    QTest::newRow("split and short") << "0.254" << 2 << 2 << 1;
    QTest::newRow("short, special mode") << "1.5" << 1 << 2 << 2;
    QTest::newRow("short, invalid magnification") << "1.5x" << 2 << 2 << 2;
  }

  void previewShowsLineDataWithTheWritersLayers() {
    QFETCH(QString, rate);
    QFETCH(int, split);
    QFETCH(int, shortLines);
    QFETCH(int, special);
    const QString file = path("drawing.bmp");
    QVERIFY(writeBmp(file, generate_drawing(260, 180, 4)));
    start();
    ConversionSettings& s = mainWindow().settings();
    s.DxfOption2 = split;
    s.DxfOption1 = shortLines;
    s.DxfOption1_Len = 3;
    s.Special = special;
    setRate(rate);

    // Nothing to preview yet: the menu item is off and a double click does nothing.
    QVERIFY(!action("Preview1")->isEnabled());
    QTest::mouseDClick(child<QLabel>(&mainWindow(), "Label6"), Qt::LeftButton);
    QVERIFY(!preview().isVisible());
    QVERIFY(child<QLabel>(&mainWindow(), "Label6")->toolTip().isEmpty());

    openFile(file, 2);
    QVERIFY(action("Preview1")->isEnabled());
    QTest::mouseDClick(child<QLabel>(&mainWindow(), "Label6"), Qt::LeftButton);
    QVERIFY(QTest::qWaitForWindowExposed(&preview()));

    // Exactly LineData, in table order, and what a conversion of its own gives.
    const Conversion expected = reference(file, 2, s);
    QVERIFY(expected.LineCount() > 20);
    QVERIFY(std::ranges::equal(preview().shownRecords(), mainWindow().conversion().records()));
    QVERIFY(std::ranges::equal(preview().shownRecords(), expected.records()));
    QCOMPARE(preview().specialPoints().ran, special == 2);
    QCOMPARE(preview().specialPoints().end_points, expected.special_points().end_points);
    QCOMPARE(preview().specialPoints().crossings, expected.special_points().crossings);
    QCOMPARE(preview().markersShown(), special == 2);
    // All of it is in sight when fitted.
    preview().canvas()->grab();
    QCOMPARE(preview().canvas()->lastPaintedSegments(), std::int64_t{expected.LineCount()});

    // The layers: those of the DXF file the writer makes of the same table.
    const std::vector<SegmentClass>& classes = preview().summary().classes;
    QCOMPARE(classes.size(), static_cast<std::size_t>(expected.LineCount()));
    ConversionSettings chosen = s;
    chosen.DxfOption1 = shortLines;
    chosen.DxfOption1_Len = 3;
    chosen.DxfOption2 = split;
    const std::optional<float> magnification = parse_rate(rate.toStdString());
    const bool valid = magnification.has_value();
    QStringList layers;
    if (valid) {
      const std::string bytes =
          vp::testing::written_bytes("dxf", expected.records(), *magnification, export_options(chosen));
      for (const DxfLine& line : dxfLines(QByteArray::fromStdString(bytes))) layers << line.layer;
    } else {
      // Without a magnification the file cannot be written; the layers are the split alone.
      for (const LineRecord& r : expected.records())
        layers << QString::fromStdString(
            std::string(dxf_layer_name(classify_segment(r, 1.0f, {split == 2, false, 0}))));
    }
    QStringList shown;
    for (const SegmentClass c : classes) shown << QString::fromStdString(std::string(dxf_layer_name(c)));
    QCOMPARE(shown, layers);
    if (shortLines == 2 && valid) QVERIFY(layers.contains(QStringLiteral("Short")));

    // The status bar counts them by layer, in hiragana; the tool tip names
    // each one's DXF layer.
    const QString counts = preview().countsText();
    const QStringList entries = counts.split(QStringLiteral("　"));
    const QString tip = child<QLabel>(&preview(), "Panel1")->toolTip();
    const std::pair<const char*, const char*> legend[] = {
        {"Velorin", "ふつう"}, {"Horizon", "よこ"}, {"Vertical", "たて"}, {"Oblique", "ななめ"}, {"Short", "みじかい"}};
    for (const auto& [layer, name] : legend) {
      const QString l = QString::fromUtf8(layer);
      const QString n = QString::fromUtf8(name);
      const bool possible = l == "Velorin" ? split == 1 : l == "Short" ? shortLines == 2 && valid : split == 2;
      QCOMPARE(entries.contains(QStringLiteral("■ ") + n + u' ' + QString::number(layers.count(l))), possible);
      QCOMPARE(counts.contains(QStringLiteral("■ ") + n + u' '), possible);
      QCOMPARE(tip.contains(n + QStringLiteral("：") + l), possible);
    }
    QCOMPARE(counts.contains(QStringLiteral("倍率が不正")), shortLines == 2 && !valid);
    if (special == 2) {
      QVERIFY(counts.contains(QStringLiteral("たんてん %1").arg(expected.special_points().end_points.size())));
      QVERIFY(counts.contains(QStringLiteral("こうてん %1").arg(expected.special_points().crossings.size())));
    }
    if (!valid) QCOMPARE(preview().sizeText(), QStringLiteral("倍率の数値が不正です。"));
  }

  // An A1 drawing's counts, with special mode's marks, are wider than the
  // window: the status bar cuts them and its tool tip has them whole; the
  // window keeps the size and the place it was given, and can be narrowed.
  void statusBarKeepsTheWindowsSize() {
    cad::CadDrawing fitted;
    for (int i = 0; i < 30000; ++i) {
      const cad::Point at{double(i % 300) * 30, double(i / 300) * 30};
      fitted.lines.push_back({at, {at.x + 20, at.y + (i % 3) * 9}});  // flat, slanting, steep
      if (i % 2 == 0) fitted.arcs.push_back({at, 12, 0.1, 1.0});
      if (i % 5 == 0) fitted.circles.push_back({at, 2});
      fitted.free_ends.push_back(at);
      fitted.junctions.push_back(at);
    }
    PreviewWindow::Drawing drawing;
    drawing.grid_width = 9000;
    drawing.grid_height = 3000;
    drawing.cad = std::move(fitted);
    PreviewWindow window;
    window.setDxfOptions(DxfOptions{4, 2, 34, 2});
    window.setMagnificationText(QStringLiteral("1.0"));
    window.setGeometry(120, 90, 760, 560);
    window.setDrawing(std::move(drawing));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();
    QCOMPARE(window.geometry(), QRect(120, 90, 760, 560));
    auto* counts = child<StatusPanel>(&window, "Panel1");
    QVERIFY(counts->cut());
    QVERIFY(counts->text().endsWith(QStringLiteral("…")));
    QVERIFY(counts->toolTip().startsWith(window.countsText() + QStringLiteral("\nDXF のレイヤー")));
    QVERIFY2(window.countsText().contains(QStringLiteral("せん 30000　えんこ 15000　えん 6000")),
             qPrintable(window.countsText()));
    window.resize(520, 560);
    QCoreApplication::processEvents();
    QCOMPARE(window.width(), 520);
    window.resize(1600, 560);
    QCoreApplication::processEvents();
    QVERIFY(!counts->cut());
    QVERIFY(counts->toolTip().startsWith(QStringLiteral("DXF のレイヤー")));
  }

  // Row y = 1 of the grid, the image's bottom row, is drawn lowest: the lines
  // and the picture both.
  // A fitted drawing made by hand: its arc and circle are drawn where the grid
  // puts them (y upwards, the arc counter-clockwise), each in its layer's colour
  // (arcs and circles Oblique when split, Short by their length), counted in the
  // status bar; the two-point scale snaps to a centre but not to the middle of an arc.
  void previewDrawsAFittedDrawing() {
    cad::CadDrawing fitted;
    fitted.lines = {{{10, 10}, {110, 10}}};
    fitted.arcs = {{{60, 50}, 30, 0.3, 1.2}};  // 36 px long
    fitted.circles = {{{25, 70}, 5}};          // 31.4 px long
    fitted.free_ends = {{10, 10}, {110, 10}};
    fitted.skew_degrees = 0.37;
    fitted.straightened = true;
    PreviewWindow::Drawing drawing;
    drawing.grid_width = 120;
    drawing.grid_height = 100;
    drawing.cad = fitted;
    PreviewWindow window;
    window.setDxfOptions(DxfOptions{4, 2, 34, 2});  // split, and short under 34 mm
    window.setMagnificationText(QStringLiteral("1.0"));
    window.setDrawing(std::move(drawing));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.findChild<QComboBox*>(QStringLiteral("ComboBox1"))
        ->setCurrentIndex(static_cast<int>(PreviewWindow::Background::None));

    const QImage shot = window.canvas()->grab().toImage();
    const auto onArc = [&](double angle) {
      return window.drawingToScreen(
          {fitted.arcs[0].centre.x + 30 * std::cos(angle), fitted.arcs[0].centre.y + 30 * std::sin(angle)});
    };
    const QColor oblique = PreviewWindow::layerColour(SegmentClass::Oblique);
    const QColor shortLine = PreviewWindow::layerColour(SegmentClass::Short);
    for (const double along : {0.35, 0.9, 1.45})
      QVERIFY2(colourNear(shot, onArc(along), oblique), qPrintable(QString::number(along)));
    // Not mirrored in y, not swept the other way round.
    for (const double off : {-0.9, 0.9 + std::numbers::pi, 2.5}) QVERIFY(!colourNear(shot, onArc(off), oblique));
    QVERIFY(colourNear(shot, window.drawingToScreen({25 + 5 * std::cos(2.0), 70 + 5 * std::sin(2.0)}), shortLine));
    QVERIFY(colourNear(shot, window.drawingToScreen({60, 10}), PreviewWindow::layerColour(SegmentClass::Horizontal)));
    QCOMPARE(window.canvas()->lastPaintedSegments(), std::int64_t{3});

    const QString counts = window.countsText();
    for (const QString& said : {QStringLiteral("よこ 1"), QStringLiteral("ななめ 1"), QStringLiteral("みじかい 1"),
                                QStringLiteral("せん 1　えんこ 1　えん 1"), QStringLiteral("たんてん 2")}) {
      QVERIFY2(counts.contains(said), qPrintable(counts));
    }
    QCOMPARE(skewText(fitted), QStringLiteral("かたむき 0.37°（なおしたよ）"));

    QTest::mouseClick(child<QPushButton>(&window, "Button2"), Qt::LeftButton);
    const auto click = [&](QPointF at) { QTest::mouseClick(window.canvas(), Qt::LeftButton, {}, at.toPoint()); };
    click(onArc(0.9));
    QVERIFY(window.picks().empty());
    click(window.drawingToScreen({25, 70}) + QPointF(3, -2));
    QCOMPARE(window.picks(), (std::vector<cad::Point>{{25, 70}}));
  }

  void yGrowsUpwardsOnScreen() {
    const QString file = path("drawing.bmp");
    const InkImage image = smallDrawing();  // bars at rows 8-10 and 36-38 from the top
    QVERIFY(writeBmp(file, image));
    start();
    mainWindow().settings().DxfOption2 = 2;
    openFile(file, 1);
    openPreview();
    PreviewCanvas* canvas = preview().canvas();
    const std::span<const LineRecord> records = preview().shownRecords();
    const auto top = std::ranges::max_element(records, {}, [](const LineRecord& r) { return r.y1; });
    const auto bottom = std::ranges::min_element(records, {}, [](const LineRecord& r) { return r.y1; });
    QVERIFY(top->y1 > bottom->y1 + 20);
    const QPointF high = preview().gridToScreen({top->x1, top->y1});
    const QPointF low = preview().gridToScreen({bottom->x1, bottom->y1});
    QVERIFY(high.y() < low.y());
    QVERIFY(high.y() < canvas->height() / 2.0);

    // One rendered pixel: the topmost line's middle, in its layer's colour.
    const QImage shot = canvas->grab().toImage();
    const GridPoint middle{(top->x1 + top->x2) / 2, (top->y1 + top->y2) / 2};
    const SegmentClass layer = preview().summary().classes[static_cast<std::size_t>(top - records.begin())];
    QVERIFY(colourNear(shot, preview().gridToScreen(middle), PreviewWindow::layerColour(layer)));

    // The picture under it, as the canvas samples it: the image's top bar
    // (rows 8-10) lies above its lower one (rows 36-38).
    QCOMPARE(preview().background(), PreviewWindow::Background::Loaded);
    QImage picture(canvas->size(), QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::white);
    renderInk(*preview().backgroundPicture(), canvas->view(), qRgb(0, 0, 0), picture);
    const std::int32_t h = image.height;
    const QPointF upperBar = preview().gridToScreen({5 + 1, h - 9});
    const QPointF lowerBar = preview().gridToScreen({5 + 1, h - 37});
    const QPointF between = preview().gridToScreen({5 + 1, h - 20});
    QVERIFY(upperBar.y() < lowerBar.y());
    QCOMPARE(picture.pixel(upperBar.toPoint()), qRgb(0, 0, 0));
    QCOMPARE(picture.pixel(lowerBar.toPoint()), qRgb(0, 0, 0));
    QCOMPARE(picture.pixel(between.toPoint()), qRgb(255, 255, 255));
  }

  // The size in the outcome label's tool tip and the preview's status bar
  // follows the magnification box and matches the file saved at it.
  void trueSizeMatchesTheSavedFile() {
    const QString file = path("drawing.bmp");
    QVERIFY(writeBmp(file, generate_drawing(240, 170, 8)));
    start();
    mainWindow().settings().DxfReal = 2;
    mainWindow().settings().SaveMode = 2;
    setRate("0.254");
    openFile(file, 2);
    openPreview();
    auto* label6 = child<QLabel>(&mainWindow(), "Label6");
    const QRegularExpression pattern(
        QStringLiteral("大きさ (\\S+) × (\\S+) mm\\nX (\\S+)～(\\S+)、Y (\\S+)～(\\S+)\\n線の長さ (\\S+) mm"));

    for (const QString& rate : {QStringLiteral("0.254"), QStringLiteral("6.34999990"), QStringLiteral("-2")}) {
      setRate(rate);
      const QRegularExpressionMatch size = pattern.match(label6->toolTip());
      QVERIFY2(size.hasMatch(), qPrintable(label6->toolTip()));
      // The status bar says the same on one line.
      QCOMPARE(preview().sizeText(), QStringLiteral("大きさ %1 × %2 mm（X %3～%4、Y %5～%6）　線の長さ %7 mm")
                                         .arg(size.captured(1), size.captured(2), size.captured(3), size.captured(4),
                                              size.captured(5), size.captured(6), size.captured(7)));

      // Saved through the program at this magnification.
      const QString out = path(QStringLiteral("out-%1").arg(rate));
      QVERIFY(QDir().mkpath(out));
      answerer_->then([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        dialog->setDirectory(out);
        static_cast<QDialog*>(dialog)->accept();
      });
      QTest::mouseClick(child<QPushButton>(&mainWindow(), "Button3"), Qt::LeftButton);
      const QList<DxfLine> lines = dxfLines(readBytes(QDir(out).filePath("drawing.dxf")));
      QCOMPARE(lines.size(), static_cast<qsizetype>(mainWindow().conversion().LineCount()));
      QList<qint64> xs, ys;
      double length = 0;
      for (const DxfLine& line : lines) {
        xs << scaled(line.coordinates[0], 2) << scaled(line.coordinates[2], 2);
        ys << scaled(line.coordinates[1], 2) << scaled(line.coordinates[3], 2);
        length += std::hypot(line.coordinates[2].toDouble() - line.coordinates[0].toDouble(),
                             line.coordinates[3].toDouble() - line.coordinates[1].toDouble());
      }
      QCOMPARE(scaled(size.captured(3), 2), *std::min_element(xs.begin(), xs.end()));
      QCOMPARE(scaled(size.captured(4), 2), *std::max_element(xs.begin(), xs.end()));
      QCOMPARE(scaled(size.captured(5), 2), *std::min_element(ys.begin(), ys.end()));
      QCOMPARE(scaled(size.captured(6), 2), *std::max_element(ys.begin(), ys.end()));
      QCOMPARE(scaled(size.captured(1), 2), scaled(size.captured(4), 2) - scaled(size.captured(3), 2));
      QCOMPARE(scaled(size.captured(2), 2), scaled(size.captured(6), 2) - scaled(size.captured(5), 2));
      // The rounded file coordinates give nearly the same length.
      QVERIFY(std::abs(size.captured(7).toDouble() - length) < 0.01 * lines.size() + 0.01);
    }
    setRate("1,5");
    QCOMPARE(label6->toolTip(), QStringLiteral("倍率の数値が不正です。"));
    QCOMPARE(preview().sizeText(), QStringLiteral("倍率の数値が不正です。"));
  }

  // Two ends 400 px apart, 2540 mm: the magnification box gets the scale
  // calculator's result for 1/100 at 400 dpi.
  void twoPointScaleReproducesTheCalculator() {
    InkImage image(460, 60);
    image.fill_span(30, 20, 420);  // 401 pixels: ends 400 apart
    image.fill_span(50, 100, 140);
    const QString file = path("line.bmp");
    QVERIFY(writeBmp(file, image));
    start();
    setRate("1.0");
    const std::string scaleBefore = mainWindow().settings().SCALE, dpiBefore = mainWindow().settings().DPI;
    openFile(file, 1);
    openPreview();
    const auto records = preview().shownRecords();
    const auto line = std::ranges::find_if(records, [](const LineRecord& r) { return std::abs(r.x2 - r.x1) == 400; });
    QVERIFY(line != records.end());
    PreviewCanvas* canvas = preview().canvas();
    const auto click = [&](QPointF at) { QTest::mouseClick(canvas, Qt::LeftButton, {}, at.toPoint()); };
    const QPointF first = preview().gridToScreen({line->x1, line->y1});
    const QPointF second = preview().gridToScreen({line->x2, line->y2});
    auto* edit1 = child<QLineEdit>(&mainWindow(), "Edit1");

    // Not picking: a click does nothing.
    click(first);
    QVERIFY(preview().picks().empty());
    QTest::mouseClick(child<QPushButton>(&preview(), "Button2"), Qt::LeftButton);
    QVERIFY(preview().picking());
    // Far from every end: nothing is picked.
    click(preview().gridToScreen({(line->x1 + line->x2) / 2, line->y1}));
    QVERIFY(preview().picks().empty());
    QCOMPARE(preview().hintText(), QStringLiteral("近くに線の端がないよ。"));
    // Near an end: it snaps to it; the same end again is refused.
    click(first + QPointF(4, -3));
    QCOMPARE(preview().picks(), (std::vector<cad::Point>{{double(line->x1), double(line->y1)}}));
    click(first);
    QCOMPARE(preview().picks().size(), std::size_t{1});

    // The dialog: OK only for a usable distance; "中止" changes nothing.
    QStringList shownDistance;
    answerer_->then([&](QWidget* modal) {
      QCOMPARE(modal->objectName(), QStringLiteral("TForm8"));
      shownDistance << child<QLabel>(modal, "Label2")->text();
      auto* ok = child<QPushButton>(modal, "Button1");
      for (const char* bad : {"0", "-3", "abc", ""}) {
        child<QLineEdit>(modal, "Edit1")->setText(bad);
        QVERIFY(!ok->isEnabled());
      }
      QTest::mouseClick(child<QPushButton>(modal, "Button2"), Qt::LeftButton);
    });
    click(second + QPointF(-2, 2));
    QCOMPARE(shownDistance, QStringList{QStringLiteral("２点のあいだ：400.00 ドット")});
    QCOMPARE(edit1->text(), QStringLiteral("1.0"));
    QVERIFY(!preview().picking());
    QVERIFY(preview().picks().empty());

    // Again, confirmed with 2540 mm.
    QTest::mouseClick(child<QPushButton>(&preview(), "Button2"), Qt::LeftButton);
    click(second);
    answerer_->then([&](QWidget* modal) {
      QTest::keyClicks(child<QLineEdit>(modal, "Edit1"), "2540");
      QTest::mouseClick(child<QPushButton>(modal, "Button1"), Qt::LeftButton);
    });
    click(first);
    QCOMPARE(edit1->text(), QStringLiteral("6.34999990"));
    QCOMPARE(edit1->text().toStdString(), *scale_result_text("100", "400"));
    QCOMPARE(*parse_rate(edit1->text().toStdString()), *magnification(100.0f, 400.0f));
    QVERIFY(!preview().picking());
    // The new magnification reaches the sizes at once: the line is 2540 mm.
    QVERIFY2(preview().sizeText().contains(QStringLiteral("大きさ 2540.0000 × ")), qPrintable(preview().sizeText()));
    // The scale calculator's inputs are not touched.
    QCOMPARE(mainWindow().settings().SCALE, scaleBefore);
    QCOMPARE(mainWindow().settings().DPI, dpiBefore);
  }

  // Zoom about the pointer, pan by dragging, fit again.
  void zoomPanAndFit() {
    const QString file = path("drawing.bmp");
    QVERIFY(writeBmp(file, smallDrawing()));
    start();
    openFile(file, 1);
    openPreview();
    PreviewCanvas* canvas = preview().canvas();
    QVERIFY(canvas->fitted());
    const PreviewView fitted = canvas->view();
    const QPointF at(canvas->width() / 3.0, canvas->height() / 4.0);
    const ScreenPoint under = fitted.toGrid({at.x(), at.y()});
    QWheelEvent wheel(at, canvas->mapToGlobal(at), QPoint(), QPoint(0, 240), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvas, &wheel);
    QVERIFY(std::abs(canvas->view().scale - fitted.scale * 1.5625) < 1e-9);
    const ScreenPoint still = canvas->view().toGrid({at.x(), at.y()});
    QVERIFY(std::abs(still.x - under.x) < 1e-9 && std::abs(still.y - under.y) < 1e-9);
    QVERIFY(!canvas->fitted());

    const PreviewView zoomed = canvas->view();
    const QPoint from(100, 100), to(160, 70);
    QTest::mousePress(canvas, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), canvas->mapToGlobal(QPointF(to)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(canvas, &move);
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, to);
    QCOMPARE(canvas->view().scale, zoomed.scale);
    QCOMPARE(canvas->view().origin_x, zoomed.origin_x + 60);
    QCOMPARE(canvas->view().origin_y, zoomed.origin_y - 30);

    QTest::mouseClick(child<QPushButton>(&preview(), "Button1"), Qt::LeftButton);
    QVERIFY(canvas->fitted());
    QCOMPARE(canvas->view(), fitted);
    // A fitted view stays fitted as the window changes size.
    preview().resize(preview().width() + 120, preview().height() + 40);
    QTRY_VERIFY(canvas->view().scale > fitted.scale);
    QCOMPARE(canvas->view(),
             PreviewView::fit(preview().gridWidth(), preview().gridHeight(), canvas->width(), canvas->height(), 8));
  }

  // The preview belongs to the conversion in hand: another conversion replaces
  // it, a failed one takes it away, and the DXF settings recolour it.
  void previewFollowsConversionsAndSettings() {
    QVERIFY(writeBmp(path("first.bmp"), smallDrawing()));
    QVERIFY(writeBmp(path("second.bmp"), generate_drawing(200, 150, 2)));
    QVERIFY(writeBytes(path("broken.bmp"), "BM not a bitmap"));
    start();
    openFile(path("first.bmp"), 1);
    openPreview();
    // A window of the main window's: off while a conversion or a save disables it.
    mainWindow().setEnabled(false);
    QVERIFY(!preview().isEnabled());
    mainWindow().setEnabled(true);
    QVERIFY(preview().isEnabled());
    QVERIFY(preview().backgroundPicture() != nullptr);
    QCOMPARE(preview().background(), PreviewWindow::Background::Loaded);
    const InkPlane thinned = planeOfGrid(mainWindow().conversion().grid());
    child<QComboBox>(&preview(), "ComboBox1")->setCurrentIndex(int(PreviewWindow::Background::Thinned));
    QVERIFY(preview().backgroundPicture()->base() == thinned);
    child<QComboBox>(&preview(), "ComboBox1")->setCurrentIndex(int(PreviewWindow::Background::None));
    QVERIFY(preview().backgroundPicture() == nullptr);

    // Another conversion: the preview comes back with the new lines.
    openFile(path("second.bmp"), 2);
    QTRY_VERIFY(preview().isVisible());
    QVERIFY(std::ranges::equal(preview().shownRecords(), mainWindow().conversion().records()));
    QCOMPARE(preview().gridWidth(), 202);
    QCOMPARE(preview().backgroundPicture()->base().width(), 202);

    // The settings dialog switches the split on: the layers follow.
    QVERIFY(preview().summary().shown[classIndex(SegmentClass::Plain)]);
    answerer_->then([&](QWidget* modal) {
      child<QCheckBox>(modal, "CheckBox5")->setChecked(true);  // DXF: split the layers
      QTest::mouseClick(child<QPushButton>(modal, "Button1"), Qt::LeftButton);
    });
    action("N3")->trigger();
    QCOMPARE(mainWindow().settings().DxfOption2, 2);
    QVERIFY(preview().summary().shown[classIndex(SegmentClass::Horizontal)]);
    QVERIFY(!preview().summary().shown[classIndex(SegmentClass::Plain)]);

    // かいたとおりに on: the next conversion fits, and the preview and the outcome label show the fit.
    QVERIFY(preview().cadDrawing() == nullptr);
    answerer_->then([&](QWidget* modal) {
      child<QCheckBox>(modal, "CheckBox6")->setChecked(true);
      QTest::mouseClick(child<QPushButton>(modal, "Button1"), Qt::LeftButton);
    });
    action("N3")->trigger();
    QCOMPARE(mainWindow().settings().Cad, 2);
    openFile(path("second.bmp"), 2);
    QTRY_VERIFY(preview().isVisible());
    QVERIFY(preview().cadDrawing() != nullptr);
    const cad::CadDrawing& fitted = mainWindow().conversion().cad_drawing();
    QVERIFY(preview().cadDrawing()->lines == fitted.lines && preview().cadDrawing()->arcs == fitted.arcs);
    QVERIFY(child<QLabel>(&mainWindow(), "Label6")->text().startsWith(QString::number(fitted.entity_count()) + u'本'));
    QVERIFY(child<QLabel>(&mainWindow(), "Label6")->toolTip().endsWith(skewText(fitted)));
    // Saved: the fitted drawing as its writer gives it (the traced table is empty).
    QVERIFY(!fitted.empty());
    mainWindow().settings().SaveMode = 1;
    const QString out = path("fitted");
    QVERIFY(QDir().mkpath(out));
    answerer_->then([&](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      dialog->setDirectory(out);
      static_cast<QDialog*>(dialog)->accept();
    });
    QTest::mouseClick(child<QPushButton>(&mainWindow(), "Button3"), Qt::LeftButton);
    const float rate = *parse_rate(child<QLineEdit>(&mainWindow(), "Edit1")->text().toStdString());
    QCOMPARE(readBytes(QDir(out).filePath("second.txt")),
             QByteArray::fromStdString(
                 vp::testing::written_cad_bytes("text", fitted, rate, export_options(mainWindow().settings()))));
    mainWindow().settings().Cad = 1;

    // A conversion that fails: no preview, no size, the item off with saving.
    answerer_->clear();
    openFile(path("broken.bmp"), 1);
    QVERIFY(!preview().isVisible());
    QVERIFY(!preview().hasDrawing());
    QVERIFY(!action("Preview1")->isEnabled());
    QVERIFY(!child<QPushButton>(&mainWindow(), "Button3")->isEnabled());
    QVERIFY(child<QLabel>(&mainWindow(), "Label6")->toolTip().isEmpty());
    action("Preview1")->trigger();
    QVERIFY(!preview().isVisible());
    // The menu item sits right after "ほぞん(&S)".
    const QList<QAction*> items = child<QMenu>(&mainWindow(), "File1")->actions();
    QCOMPARE(items.indexOf(action("Preview1")), items.indexOf(action("Save1")) + 1);
    QCOMPARE(action("Preview1")->text(), QStringLiteral("ぷれびゅー(&P)"));
  }
};

QTEST_MAIN(PreviewTest)
#include "preview_test.moc"

#include "app/gui/PreviewWindow.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStandardItemModel>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/scale.h"
#include "dialogs/ReferenceDistanceDialog.h"
#include "export/number_text.h"
#include "export/svg_writer.h"

namespace vp::gui {
namespace {

constexpr int kFitMargin = 8;         // pixels around the fitted drawing
constexpr double kSnapRadius = 12.0;  // pixels from a click to the end it takes
constexpr double kWheelStep = 1.25;   // zoom per notch of the wheel
constexpr int kLinesPerBatch = 4096;

const QString kInvalidMagnification = QStringLiteral("倍率の数値が不正です。");
const QString kNoLines = QStringLiteral("線がないよ。");
const QString kPickTwo = QStringLiteral("線の端を２つクリックしてね。");
const QString kPickSecond = QStringLiteral("もう１つの端をクリックしてね。");
const QString kNoEndNear = QStringLiteral("近くに線の端がないよ。");
// With a fitted drawing the centres of arcs and circles can be picked too.
const QString kPickTwoCad = QStringLiteral("線の端か円の中心を２つクリックしてね。");
const QString kNoPointNear = QStringLiteral("近くに線の端も円の中心もないよ。");
const QString kSameEnd = QStringLiteral("おなじ端だよ。ちがう端をえらんでね。");
const QString kShortLinesSkipped = QStringLiteral("（倍率が不正なので、みじかい線は分けていないよ）");
const QString kUnusableDistance = QStringLiteral("その長さではばいりつがきまらないよ。");

QString qstring(const std::string& text) { return QString::fromStdString(text); }

// The legend's names of kPreviewClasses, in the interface's hiragana; the DXF
// layer names go to the tool tip.
const std::array<QString, 5> kLegendNames = {QStringLiteral("ふつう"), QStringLiteral("よこ"), QStringLiteral("たて"),
                                             QStringLiteral("ななめ"), QStringLiteral("みじかい")};

// Where the marks of special mode (segment ends) and of a fitted drawing go.
ScreenPoint onScreen(const PreviewView& view, GridPoint p) { return view.toScreen(p); }
ScreenPoint onScreen(const PreviewView& view, cad::Point p) { return view.drawingToScreen(p); }

// Clamps before converting, so that a far zoom cannot overflow the integer.
std::int64_t floorToCell(double value) { return static_cast<std::int64_t>(std::floor(std::clamp(value, -1e15, 1e15))); }

}  // namespace

// --- Drawing the picture -----------------------------------------------------

void renderInk(const InkPyramid& picture, const PreviewView& view, QRgb ink, QImage& target) {
  const InkPlane& base = picture.base();
  if (base.empty() || target.isNull() || target.depth() != 32) return;
  int level = pyramidLevel(view.scale);
  if (level > 0) level = std::min(level, picture.levelCount() - 1);
  const InkPlane& plane = picture.level(level);
  // Which cell of the level each screen column and row samples (at the
  // pixel's centre); -1 off the picture.
  const auto cell = [&](double grid, std::int32_t size) -> std::int32_t {
    const std::int64_t c = floorToCell(grid);
    if (c < 0) return -1;
    const std::int64_t at = c >> level;
    return at < size ? static_cast<std::int32_t>(at) : -1;
  };
  std::vector<std::int32_t> columns(static_cast<std::size_t>(target.width()));
  for (int px = 0; px < target.width(); ++px) {
    columns[static_cast<std::size_t>(px)] = cell((px + 0.5 - view.origin_x) / view.scale, plane.width());
  }
  for (int py = 0; py < target.height(); ++py) {
    const std::int32_t y = cell((view.origin_y - (py + 0.5)) / view.scale, plane.height());
    if (y < 0) continue;
    const std::span<const std::uint64_t> row = plane.row(y);
    auto* out = reinterpret_cast<QRgb*>(target.scanLine(py));
    for (int px = 0; px < target.width(); ++px) {
      const std::int32_t x = columns[static_cast<std::size_t>(px)];
      if (x >= 0 && ((row[static_cast<std::size_t>(x) / 64] >> (x % 64)) & 1u) != 0) out[px] = ink;
    }
  }
}

void renderGrey(const GreyPicture& picture, const PreviewView& view, QImage& target) {
  if (picture.levels.empty() || target.isNull() || target.depth() != 32) return;
  // Grid cell (c + 1, h - r) holds image pixel (c, r); -1 off the image.
  std::vector<std::int32_t> columns(static_cast<std::size_t>(target.width()));
  for (int px = 0; px < target.width(); ++px) {
    const std::int64_t c = floorToCell((px + 0.5 - view.origin_x) / view.scale) - 1;
    columns[static_cast<std::size_t>(px)] = c >= 0 && c < picture.image_width ? static_cast<std::int32_t>(c) : -1;
  }
  for (int py = 0; py < target.height(); ++py) {
    const std::int64_t r = picture.image_height - floorToCell((view.origin_y - (py + 0.5)) / view.scale);
    if (r < 0 || r >= picture.image_height) continue;
    auto* out = reinterpret_cast<QRgb*>(target.scanLine(py));
    for (int px = 0; px < target.width(); ++px) {
      const std::int32_t c = columns[static_cast<std::size_t>(px)];
      if (c < 0) continue;
      const int v = picture.atImage(c, static_cast<std::int32_t>(r));
      out[px] = qRgb(v, v, v);
    }
  }
}

namespace {

QString sizeText(const std::optional<DrawingExtent>& extent, double length, int decimals, bool lines) {
  if (!extent) return kNoLines;
  const QString size = QStringLiteral("大きさ %1 × %2 mm").arg(qstring(extent->width), qstring(extent->height));
  const QString where =
      QStringLiteral("X %1～%2、Y %3～%4")
          .arg(qstring(extent->left), qstring(extent->right), qstring(extent->bottom), qstring(extent->top));
  const QString total = QStringLiteral("線の長さ %1 mm").arg(qstring(fixed_text(length, decimals)));
  if (lines) return size + u'\n' + where + u'\n' + total;
  return size + QStringLiteral("（") + where + QStringLiteral("）　") + total;
}

}  // namespace

QString trueSizeText(std::span<const LineRecord> records, const QString& magnification, std::int32_t dxf_real,
                     bool lines) {
  const std::optional<float> rate = parse_rate(magnification.toStdString());
  if (!rate) return kInvalidMagnification;
  const int decimals = DecimalDigits(dxf_real);
  return sizeText(drawingExtent(records, *rate, decimals), totalLength(records, *rate), decimals, lines);
}

QString trueSizeText(const cad::CadDrawing& drawing, const QString& magnification, std::int32_t dxf_real, bool lines) {
  const std::optional<float> rate = parse_rate(magnification.toStdString());
  if (!rate) return kInvalidMagnification;
  const int decimals = DecimalDigits(dxf_real);
  return sizeText(cadExtent(drawing, *rate, decimals), cadLength(drawing, *rate), decimals, lines);
}

QString skewText(const cad::CadDrawing& drawing) {
  const QString angle = qstring(RealText(drawing.skew_degrees, 2));  // zero has no sign
  return QStringLiteral("かたむき %1°（%2）")
      .arg(angle, drawing.straightened ? QStringLiteral("なおしたよ") : QStringLiteral("そのまま"));
}

// --- The canvas --------------------------------------------------------------

PreviewCanvas::PreviewCanvas(PreviewWindow* owner) : QWidget(owner), owner_(owner) {
  setObjectName(QStringLiteral("PaintBox1"));
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  setMinimumSize(160, 120);
  setCursor(Qt::OpenHandCursor);
}

void PreviewCanvas::setView(const PreviewView& view) {
  view_ = view;
  fitted_ = false;
  update();
}

void PreviewCanvas::fitToWindow() {
  view_ = PreviewView::fit(owner_->gridWidth(), owner_->gridHeight(), width(), height(), kFitMargin);
  fitted_ = true;
  update();
}

double PreviewCanvas::smallestScale() const {
  const PreviewView whole = PreviewView::fit(owner_->gridWidth(), owner_->gridHeight(), width(), height(), kFitMargin);
  return whole.scale / 4.0;
}

void PreviewCanvas::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(0xE4, 0xE4, 0xE4));
  last_painted_ = 0;
  if (!owner_->hasDrawing()) return;

  // The sheet: the grid's cells, white.
  const double sheet_width = owner_->gridWidth() * view_.scale;
  const double sheet_height = owner_->gridHeight() * view_.scale;
  painter.fillRect(QRectF(view_.origin_x, view_.origin_y - sheet_height, sheet_width, sheet_height), Qt::white);
  if (const GreyPicture* grey = owner_->greyPicture()) {
    QImage image(size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    renderGrey(*grey, view_, image);
    painter.drawImage(0, 0, image);
  } else if (const InkPyramid* picture = owner_->backgroundPicture()) {
    QImage image(size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const PreviewWindow::Background shown = owner_->background();
    const QRgb ink = shown == PreviewWindow::Background::Loaded ? PreviewWindow::loadedInkColour()
                     : shown == PreviewWindow::Background::Ink  ? PreviewWindow::inkColour()
                                                                : PreviewWindow::thinnedInkColour();
    renderInk(*picture, view_, ink, image);
    painter.drawImage(0, 0, image);
  }

  // The lines in sight, a batch per layer.
  const ScreenPoint low = view_.toGrid({0.0, static_cast<double>(height())});
  const ScreenPoint high = view_.toGrid({static_cast<double>(width()), 0.0});
  const double x_low = low.x - 1.5, x_high = high.x + 0.5, y_low = low.y - 1.5, y_high = high.y + 0.5;
  const std::span<const LineRecord> records = owner_->shownRecords();
  const std::vector<SegmentClass>& classes = owner_->summary().classes;
  std::array<QVector<QLineF>, kPreviewClasses.size()> batches;
  std::array<QPen, kPreviewClasses.size()> pens;
  const double pen_width = std::clamp(view_.scale * 0.35, 1.0, 4.0);
  for (std::size_t i = 0; i < kPreviewClasses.size(); ++i) {
    pens[i] = QPen(PreviewWindow::layerColour(kPreviewClasses[i]), pen_width, Qt::SolidLine, Qt::SquareCap);
    pens[i].setCosmetic(true);
    batches[i].reserve(kLinesPerBatch);
  }
  const auto flush = [&](std::size_t i) {
    painter.setPen(pens[i]);
    painter.drawLines(batches[i]);
    batches[i].clear();
  };
  const cad::CadDrawing* fitted = owner_->cadDrawing();
  const auto inBox = [&](double left, double right, double bottom, double top) {
    return right >= x_low && left <= x_high && top >= y_low && bottom <= y_high;
  };
  const auto addLine = [&](ScreenPoint a, ScreenPoint b, SegmentClass c) {
    const std::size_t layer = classIndex(c);
    batches[layer].append(QLineF(a.x, a.y, b.x, b.y));
    if (batches[layer].size() == kLinesPerBatch) flush(layer);
    ++last_painted_;
  };
  if (fitted == nullptr) {
    for (std::size_t i = 0; i < records.size() && i < classes.size(); ++i) {
      const LineRecord& r = records[i];
      if (!inBox(std::min(r.x1, r.x2), std::max(r.x1, r.x2), std::min(r.y1, r.y2), std::max(r.y1, r.y2))) continue;
      addLine(view_.toScreen(GridPoint{r.x1, r.y1}), view_.toScreen(GridPoint{r.x2, r.y2}), classes[i]);
    }
  } else {
    const std::size_t lines = fitted->lines.size();
    for (std::size_t i = 0; i < lines && i < classes.size(); ++i) {
      const cad::Line& l = fitted->lines[i];
      if (!inBox(std::min(l.a.x, l.b.x), std::max(l.a.x, l.b.x), std::min(l.a.y, l.b.y), std::max(l.a.y, l.b.y)))
        continue;
      addLine(view_.drawingToScreen(l.a), view_.drawingToScreen(l.b), classes[i]);
    }
  }
  for (std::size_t i = 0; i < batches.size(); ++i) flush(i);

  if (fitted != nullptr) {
    // Arcs and circles as curves, one path per layer. Qt's angles run
    // counter-clockwise on the screen, as the fit's do in the grid, whose y is
    // flipped on the way: the angles carry over unchanged.
    std::array<QPainterPath, kPreviewClasses.size()> paths;
    std::size_t k = fitted->lines.size();
    const auto bounds = [&](cad::Point centre, double radius) {
      const ScreenPoint c = view_.drawingToScreen(centre);
      const double r = radius * view_.scale;
      return QRectF(c.x - r, c.y - r, 2 * r, 2 * r);
    };
    const auto near = [&](cad::Point c, double r) { return inBox(c.x - r, c.x + r, c.y - r, c.y + r); };
    for (const cad::Arc& arc : fitted->arcs) {
      const std::size_t at = k++;
      if (at >= classes.size() || !near(arc.centre, arc.radius)) continue;
      const QRectF box = bounds(arc.centre, arc.radius);
      const double start = arc.start * 180.0 / std::numbers::pi, sweep = arc.sweep * 180.0 / std::numbers::pi;
      QPainterPath& path = paths[classIndex(classes[at])];
      path.arcMoveTo(box, start);
      path.arcTo(box, start, sweep);
      ++last_painted_;
    }
    for (const cad::Circle& circle : fitted->circles) {
      const std::size_t at = k++;
      if (at >= classes.size() || !near(circle.centre, circle.radius)) continue;
      paths[classIndex(classes[at])].addEllipse(bounds(circle.centre, circle.radius));
      ++last_painted_;
    }
    painter.setBrush(Qt::NoBrush);
    for (std::size_t i = 0; i < paths.size(); ++i) {
      if (paths[i].isEmpty()) continue;
      painter.setPen(pens[i]);
      painter.drawPath(paths[i]);
    }
  }

  // Free ends as rings, crossings (or junctions) as squares; smaller as the
  // view zooms out, where thousands of them would hide the lines.
  if (owner_->markersShown()) {
    const double r = std::clamp(view_.scale * 1.5, 1.5, 4.0);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setBrush(Qt::NoBrush);
    const auto mark = [&](const auto& points, const QColor& colour, bool ring) {
      painter.setPen(QPen(colour, r < 3.0 ? 1.0 : 1.5));
      for (const auto& p : points) {
        if (!inBox(p.x, p.x, p.y, p.y)) continue;
        const ScreenPoint s = onScreen(view_, p);
        if (ring) {
          painter.drawEllipse(QPointF(s.x, s.y), r, r);
        } else {
          painter.drawRect(QRectF(s.x - r, s.y - r, 2 * r, 2 * r));
        }
      }
    };
    if (fitted != nullptr) {
      mark(fitted->free_ends, PreviewWindow::endPointColour(), true);
      mark(fitted->junctions, PreviewWindow::crossingColour(), false);
    } else {
      mark(owner_->specialPoints().end_points, PreviewWindow::endPointColour(), true);
      mark(owner_->specialPoints().crossings, PreviewWindow::crossingColour(), false);
    }
  }

  // The points picked for the two-point scale.
  const std::vector<cad::Point>& picks = owner_->picks();
  if (!picks.empty()) {
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QColor red(0xE0, 0x00, 0x00);
    if (picks.size() == 2) {
      const ScreenPoint a = view_.drawingToScreen(picks[0]);
      const ScreenPoint b = view_.drawingToScreen(picks[1]);
      painter.setPen(QPen(red, 1.5, Qt::DashLine));
      painter.drawLine(QPointF(a.x, a.y), QPointF(b.x, b.y));
    }
    painter.setPen(QPen(red, 2.0));
    for (const cad::Point& p : picks) {
      const ScreenPoint s = view_.drawingToScreen(p);
      painter.drawEllipse(QPointF(s.x, s.y), 6.0, 6.0);
    }
  }
}

void PreviewCanvas::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (fitted_) fitToWindow();
}

void PreviewCanvas::wheelEvent(QWheelEvent* event) {
  const double notches = event->angleDelta().y() / 120.0;
  if (notches == 0 || !owner_->hasDrawing()) return;
  const QPointF at = event->position();
  view_ = view_.zoomedAt(std::pow(kWheelStep, notches), {at.x(), at.y()}, smallestScale());
  fitted_ = false;
  update();
  event->accept();
}

void PreviewCanvas::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton && event->button() != Qt::MiddleButton) return;
  pressed_ = true;
  dragging_ = false;
  press_at_ = event->position();
  view_at_press_ = view_;
}

void PreviewCanvas::mouseMoveEvent(QMouseEvent* event) {
  if (!pressed_) return;
  const QPointF moved = event->position() - press_at_;
  if (!dragging_ && moved.manhattanLength() >= QApplication::startDragDistance()) {
    dragging_ = true;
    setCursor(Qt::ClosedHandCursor);
  }
  if (!dragging_) return;
  view_ = view_at_press_;
  view_.origin_x += moved.x();
  view_.origin_y += moved.y();
  fitted_ = false;
  update();
}

void PreviewCanvas::mouseReleaseEvent(QMouseEvent* event) {
  if (!pressed_) return;
  const bool click = !dragging_ && event->button() == Qt::LeftButton;
  pressed_ = dragging_ = false;
  setCursor(owner_->picking() ? Qt::CrossCursor : Qt::OpenHandCursor);
  if (click) emit clickedAt(event->position());
}

// --- The window --------------------------------------------------------------

PreviewWindow::PreviewWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("TForm7"));
  setWindowTitle(QStringLiteral("ぷれびゅー"));

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 0);
  layout->setSpacing(4);
  auto* tools = new QHBoxLayout;
  tools->setSpacing(6);
  background_list_ = new QComboBox(this);
  background_list_->setObjectName(QStringLiteral("ComboBox1"));
  background_list_->addItems({QStringLiteral("よみこんだ画像"), QStringLiteral("いんくにした画像"),
                              QStringLiteral("ほそくした画像"), QStringLiteral("画像なし")});
  markers_check_ = new QCheckBox(QStringLiteral("たんてん・こうてん"), this);
  markers_check_->setObjectName(QStringLiteral("CheckBox1"));
  markers_check_->setChecked(true);
  fit_button_ = new QPushButton(QStringLiteral("ぜんたい"), this);
  fit_button_->setObjectName(QStringLiteral("Button1"));
  fit_button_->setAutoDefault(false);
  pick_button_ = new QPushButton(QStringLiteral("２点でばいりつ"), this);
  pick_button_->setObjectName(QStringLiteral("Button2"));
  pick_button_->setCheckable(true);
  pick_button_->setAutoDefault(false);
  hint_label_ = new QLabel(this);
  hint_label_->setObjectName(QStringLiteral("Label1"));
  // A long hint must not widen the window: it is cut, as the status bar is.
  hint_label_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  tools->addWidget(background_list_);
  tools->addWidget(markers_check_);
  tools->addWidget(fit_button_);
  tools->addWidget(pick_button_);
  tools->addWidget(hint_label_, 1);
  layout->addLayout(tools);

  canvas_ = new PreviewCanvas(this);
  layout->addWidget(canvas_, 1);

  status_bar_ = new QStatusBar(this);
  status_bar_->setObjectName(QStringLiteral("StatusBar1"));
  counts_panel_ = new StatusPanel(status_bar_);
  counts_panel_->setObjectName(QStringLiteral("Panel1"));
  size_panel_ = new StatusPanel(status_bar_);
  size_panel_->setObjectName(QStringLiteral("Panel2"));
  status_bar_->addWidget(counts_panel_);
  status_bar_->addWidget(size_panel_, 1);
  layout->addWidget(status_bar_);

  distance_dialog_ = new ReferenceDistanceDialog(this);

  connect(background_list_, &QComboBox::currentIndexChanged, this, &PreviewWindow::backgroundChanged);
  connect(markers_check_, &QCheckBox::toggled, canvas_, qOverload<>(&QWidget::update));
  connect(fit_button_, &QPushButton::clicked, this, &PreviewWindow::fitClicked);
  connect(pick_button_, &QPushButton::clicked, this, &PreviewWindow::pickClicked);
  connect(canvas_, &PreviewCanvas::clickedAt, this, &PreviewWindow::canvasClicked);
  resize(760, 560);
}

PreviewWindow::~PreviewWindow() = default;

void PreviewWindow::setDrawing(Drawing drawing) {
  clearDrawing();
  drawing_ = std::move(drawing);
  has_drawing_ = true;
  if (drawing_.loaded) loaded_picture_ = std::make_shared<InkPyramid>(drawing_.loaded);
  // One pyramid when the ink is the image as loaded (the same copy).
  if (drawing_.ink) {
    ink_picture_ = drawing_.ink == drawing_.loaded ? loaded_picture_ : std::make_shared<InkPyramid>(drawing_.ink);
  }
  // The image as loaded when it was kept, else the ink (a grey or colour
  // scan), else the thinned grid.
  auto* items = qobject_cast<QStandardItemModel*>(background_list_->model());
  items->item(static_cast<int>(Background::Loaded))->setEnabled(loaded_picture_ != nullptr || drawing_.grey);
  items->item(static_cast<int>(Background::Ink))->setEnabled(ink_picture_ != nullptr);
  items->item(static_cast<int>(Background::Thinned))->setEnabled(static_cast<bool>(drawing_.thinned));
  {
    const QSignalBlocker quiet(background_list_);
    background_list_->setCurrentIndex(static_cast<int>(loaded_picture_ || drawing_.grey ? Background::Loaded
                                                       : ink_picture_                   ? Background::Ink
                                                       : drawing_.thinned               ? Background::Thinned
                                                                                        : Background::None));
  }
  markers_check_->setEnabled(drawing_.special.ran || drawing_.cad);
  reclassify();
  canvas_->fitToWindow();
}

void PreviewWindow::clearDrawing() {
  endPicking(QString());
  drawing_ = Drawing{};
  has_drawing_ = false;
  summary_ = LayerSummary{};
  loaded_picture_.reset();
  ink_picture_.reset();
  thinned_picture_.reset();
  thinned_made_ = false;
  updateStatus();
  canvas_->update();
}

void PreviewWindow::setMagnificationText(const QString& text) {
  magnification_ = text;
  reclassify();
}

void PreviewWindow::setDxfOptions(const DxfOptions& options) {
  options_ = options;
  reclassify();
}

void PreviewWindow::reclassify() {
  if (!has_drawing_) return;
  const std::optional<float> rate = parse_rate(magnification_.toStdString());
  summary_ =
      drawing_.cad ? classifyCad(*drawing_.cad, rate, options_) : classifyRecords(drawing_.records, rate, options_);
  updateStatus();
  canvas_->update();
}

PreviewWindow::Background PreviewWindow::background() const {
  return static_cast<Background>(std::clamp(background_list_->currentIndex(), 0, static_cast<int>(Background::None)));
}

const GreyPicture* PreviewWindow::greyPicture() const {
  return has_drawing_ && background() == Background::Loaded ? drawing_.grey.get() : nullptr;
}

const InkPyramid* PreviewWindow::backgroundPicture() {
  if (!has_drawing_) return nullptr;
  switch (background()) {
    case Background::Loaded:
      return drawing_.grey ? nullptr : loaded_picture_.get();
    case Background::Ink:
      return ink_picture_.get();
    case Background::Thinned:
      if (!thinned_made_ && drawing_.thinned) {
        thinned_made_ = true;
        auto plane = std::make_shared<const InkPlane>(drawing_.thinned());
        if (!plane->empty()) thinned_picture_ = std::make_shared<InkPyramid>(std::move(plane));
      }
      return thinned_picture_.get();
    case Background::None:
      break;
  }
  return nullptr;
}

bool PreviewWindow::markersShown() const {
  return (drawing_.special.ran || drawing_.cad) && markers_check_->isChecked();
}

bool PreviewWindow::picking() const { return pick_button_->isChecked(); }

QPointF PreviewWindow::gridToScreen(GridPoint p) const {
  const ScreenPoint s = canvas_->view().toScreen(p);
  return {s.x, s.y};
}

QPointF PreviewWindow::drawingToScreen(cad::Point p) const {
  const ScreenPoint s = canvas_->view().drawingToScreen(p);
  return {s.x, s.y};
}

QColor PreviewWindow::layerColour(SegmentClass layer) {
  // The SVG writer's colours, so that the preview and the SVG file agree.
  const std::string_view name = svg_layer_colour(layer);
  return QColor(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
}
QRgb PreviewWindow::loadedInkColour() { return qRgb(0xC4, 0xC4, 0xC4); }
QRgb PreviewWindow::inkColour() { return qRgb(0xE0, 0xC0, 0x90); }
QRgb PreviewWindow::thinnedInkColour() { return qRgb(0x9C, 0xC4, 0xEC); }
QColor PreviewWindow::endPointColour() { return QColor(0xFF, 0x80, 0x00); }
QColor PreviewWindow::crossingColour() { return QColor(0x00, 0xA0, 0xA0); }

// --- The status bar ----------------------------------------------------------

void PreviewWindow::updateStatus() {
  if (!has_drawing_) {
    counts_panel_->clearEntries();
    size_panel_->clearEntries();
    return;
  }
  // Each entry as plain text and as rich text with its colour.
  QStringList plain, rich, layers;
  const auto add = [&](const QColor& colour, const QString& mark, const QString& text) {
    plain << mark + u' ' + text;
    rich << QStringLiteral("<span style=\"color:%1\">%2</span> %3").arg(colour.name(), mark, text.toHtmlEscaped());
  };
  for (std::size_t i = 0; i < kPreviewClasses.size(); ++i) {
    if (!summary_.shown[i]) continue;
    add(layerColour(kPreviewClasses[i]), QStringLiteral("■"),
        kLegendNames[i] + u' ' + QString::number(summary_.counts[i]));
    layers << QStringLiteral("%1：%2").arg(kLegendNames[i], qstring(std::string(dxf_layer_name(kPreviewClasses[i]))));
  }
  if (const cad::CadDrawing* fitted = cadDrawing()) {
    plain << QStringLiteral("せん %1　えんこ %2　えん %3")
                 .arg(fitted->lines.size())
                 .arg(fitted->arcs.size())
                 .arg(fitted->circles.size());
    rich << plain.back().toHtmlEscaped();
    add(endPointColour(), QStringLiteral("○"), QStringLiteral("たんてん ") + QString::number(fitted->free_ends.size()));
    add(crossingColour(), QStringLiteral("□"), QStringLiteral("こうてん ") + QString::number(fitted->junctions.size()));
  } else if (drawing_.special.ran) {
    add(endPointColour(), QStringLiteral("○"),
        QStringLiteral("たんてん ") + QString::number(drawing_.special.end_points.size()));
    add(crossingColour(), QStringLiteral("□"),
        QStringLiteral("こうてん ") + QString::number(drawing_.special.crossings.size()));
  }
  if (summary_.short_lines_skipped) {
    plain << kShortLinesSkipped;
    rich << kShortLinesSkipped.toHtmlEscaped();
  }
  counts_panel_->setEntries(plain, rich, QStringLiteral("DXF のレイヤー\n") + layers.join(u'\n'));
  size_panel_->setEntries({drawing_.cad ? trueSizeText(*drawing_.cad, magnification_, options_.DxfReal, false)
                                        : trueSizeText(drawing_.records, magnification_, options_.DxfReal, false)});
}

QString PreviewWindow::countsText() const { return counts_panel_->fullText(); }

QString PreviewWindow::sizeText() const { return size_panel_->fullText(); }

QString PreviewWindow::hintText() const { return hint_label_->text(); }

void PreviewWindow::setHint(const QString& text) {
  hint_label_->setText(text);
  hint_label_->setToolTip(text);
}

// --- Commands ----------------------------------------------------------------

void PreviewWindow::fitClicked() { canvas_->fitToWindow(); }

void PreviewWindow::backgroundChanged() { canvas_->update(); }

void PreviewWindow::pickClicked() {
  if (!pick_button_->isChecked()) {
    endPicking(QString());
    return;
  }
  if (!has_drawing_) {
    pick_button_->setChecked(false);
    return;
  }
  picks_.clear();
  setHint(drawing_.cad ? kPickTwoCad : kPickTwo);
  canvas_->setCursor(Qt::CrossCursor);
  canvas_->update();
}

void PreviewWindow::canvasClicked(QPointF at) {
  if (!picking() || !has_drawing_) return;
  const ScreenPoint clicked{at.x(), at.y()};
  std::optional<cad::Point> end;
  if (drawing_.cad) {
    end = nearestCadPoint(*drawing_.cad, canvas_->view(), clicked, kSnapRadius);
  } else if (const std::optional<GridPoint> p = nearestEnd(drawing_.records, canvas_->view(), clicked, kSnapRadius)) {
    end = cad::Point{static_cast<double>(p->x), static_cast<double>(p->y)};
  }
  if (!end) {
    setHint(drawing_.cad ? kNoPointNear : kNoEndNear);
    return;
  }
  if (!picks_.empty() && picks_.front() == *end) {
    setHint(kSameEnd);
    return;
  }
  picks_.push_back(*end);
  canvas_->update();
  if (picks_.size() < 2) {
    setHint(kPickSecond);
    return;
  }
  askDistance();
}

void PreviewWindow::askDistance() {
  distance_dialog_->setPoints(picks_[0], picks_[1]);
  if (distance_dialog_->exec() != QDialog::Accepted) {
    endPicking(QString());
    return;
  }
  const std::optional<float> distance = distance_dialog_->distance();
  const std::optional<float> rate = distance ? two_point_magnification(picks_[0], picks_[1], *distance) : std::nullopt;
  if (!rate) {
    endPicking(kUnusableDistance);
    return;
  }
  const QString text = qstring(magnification_text(*rate));
  endPicking(QStringLiteral("ばいりつを %1 にしたよ。").arg(text));
  emit magnificationPicked(text);
}

void PreviewWindow::endPicking(const QString& hint) {
  picks_.clear();
  pick_button_->setChecked(false);
  canvas_->setCursor(Qt::OpenHandCursor);
  setHint(hint);
  canvas_->update();
}

}  // namespace vp::gui

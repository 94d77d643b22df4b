// The preview (TForm7, "ぷれびゅー"): what the last conversion traced, drawn
// over the image it came from, before anything is saved.
//
// It shows the lines that saving writes, each in the colour of the layer the
// DXF writer puts it on (the same rule, with the current DXF options and
// magnification), over the image as it was loaded (in grey when the conversion
// found next to no ink), the ink as the thinning
// received it (after the scan clean-up) or the thinned grid; the
// free ends and crossings when special mode ran; the number of lines per layer
// and the drawing's size in millimetres in its status bar.
//
// After a conversion with Cad on, what saving writes is the fitted drawing: its
// lines, arcs and circles are drawn as such, each in its DXF layer's colour,
// with its free ends and junctions marked, and they are what the two-point
// scale snaps to (line and arc ends, arc and circle centres). The wheel zooms
// about the pointer, dragging pans, "ぜんたい" fits the drawing to the window.
// It changes nothing but the magnification, and that only through the
// two-point scale: pick two segment ends, type their true distance, and the
// main window's magnification box receives millimetres per pixel in the scale
// calculator's format.
//
// Screen y grows downwards and the drawing's y upwards: grid row y = 1 (the
// bottom row of the image) is drawn lowest.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPointF>
#include <QPushButton>
#include <QStatusBar>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "app/gui/InkPlane.h"
#include "app/gui/PreviewModel.h"
#include "app/gui/StatusPanel.h"
#include "core/conversion.h"
#include "export/dxf_writer.h"

namespace vp::gui {

class PreviewWindow;
class ReferenceDistanceDialog;

// The image as a preview shows it: `plane`'s level for `view`, ink in `ink`
// and background left as `target` holds it. `target` is the view's size.
void renderInk(const InkPyramid& plane, const PreviewView& view, QRgb ink, QImage& target);

// The grey picture as a preview shows it: each screen pixel of `target` (the
// view's size, 32 bits) over an image pixel takes that pixel's grey.
void renderGrey(const GreyPicture& picture, const PreviewView& view, QImage& target);

// The drawing's size for the status bar and the outcome label's tool tip:
// extent and total length in millimetres with the DXF decimals, or why there
// is none (invalid magnification, no lines). `lines` puts each on a line of its own.
QString trueSizeText(std::span<const LineRecord> records, const QString& magnification, std::int32_t dxf_real,
                     bool lines);
// The same for a fitted drawing (--cad).
QString trueSizeText(const cad::CadDrawing& drawing, const QString& magnification, std::int32_t dxf_real, bool lines);
// The skew the fit measured and what became of it: "かたむき 0.37°（なおしたよ）".
QString skewText(const cad::CadDrawing& drawing);

// The drawing area: paints the scene, zooms, pans, and reports clicks.
class PreviewCanvas : public QWidget {
  Q_OBJECT

 public:
  explicit PreviewCanvas(PreviewWindow* owner);

  const PreviewView& view() const { return view_; }
  void setView(const PreviewView& view);
  // The whole grid in the window; kept so while the window is resized, until
  // the user zooms or pans.
  void fitToWindow();
  bool fitted() const { return fitted_; }
  // Segments, or a fitted drawing's lines, arcs and circles, drawn by the last paint (those in sight).
  std::int64_t lastPaintedSegments() const { return last_painted_; }

 signals:
  void clickedAt(QPointF at);  // a press and release without a drag

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  double smallestScale() const;

  PreviewWindow* owner_;
  PreviewView view_;
  bool fitted_ = true;
  bool pressed_ = false;
  bool dragging_ = false;
  QPointF press_at_;
  PreviewView view_at_press_;
  std::int64_t last_painted_ = 0;
};

class PreviewWindow : public QWidget {
  Q_OBJECT

 public:
  enum class Background { Loaded = 0, Ink = 1, Thinned = 2, None = 3 };

  // What a conversion that went through leaves to show.
  struct Drawing {
    std::vector<LineRecord> records;  // LineData, in table order
    SpecialPoints special;
    std::int32_t grid_width = 0;  // the grid, image + border
    std::int32_t grid_height = 0;
    std::shared_ptr<const InkPlane> loaded;  // the image as loaded; null when not kept
    std::shared_ptr<const InkPlane> ink;     // the ink the thinning received; null when not kept
    // The image as read, in grey, when the conversion found next to no ink in a
    // scan: shown as the image as loaded instead of `loaded`.
    std::shared_ptr<const GreyPicture> grey;
    // Makes the thinned grid's plane when it is first shown.
    std::function<InkPlane()> thinned;
    // The fitted drawing, when the conversion ran with Cad on: shown instead of the records.
    std::optional<cad::CadDrawing> cad;
  };

  explicit PreviewWindow(QWidget* parent = nullptr);
  ~PreviewWindow() override;

  void setDrawing(Drawing drawing);
  // Forgets the drawing (before the next conversion changes what it came from).
  void clearDrawing();
  bool hasDrawing() const { return has_drawing_; }

  // The magnification text and the DXF options the layers and sizes follow.
  void setMagnificationText(const QString& text);
  void setDxfOptions(const DxfOptions& options);

  // What is drawn: exactly the records, in table order, each with its layer.
  std::span<const LineRecord> shownRecords() const { return drawing_.records; }
  const LayerSummary& summary() const { return summary_; }
  const SpecialPoints& specialPoints() const { return drawing_.special; }
  // The fitted drawing shown, or null when the records are.
  const cad::CadDrawing* cadDrawing() const { return drawing_.cad ? &*drawing_.cad : nullptr; }
  std::int32_t gridWidth() const { return drawing_.grid_width; }
  std::int32_t gridHeight() const { return drawing_.grid_height; }
  // The picture under the lines: null when there is none (or it is switched off).
  const InkPyramid* backgroundPicture();
  // The grey picture under the lines, when the image as loaded is shown in grey; else null.
  const GreyPicture* greyPicture() const;
  Background background() const;
  bool markersShown() const;
  bool picking() const;
  const std::vector<cad::Point>& picks() const { return picks_; }
  PreviewCanvas* canvas() const { return canvas_; }
  // Where a segment end, or a point of a fitted drawing, is drawn, in the canvas's coordinates.
  QPointF gridToScreen(GridPoint p) const;
  QPointF drawingToScreen(cad::Point p) const;

  QString countsText() const;
  QString sizeText() const;
  QString hintText() const;

  // The colours: lines by layer, the two pictures, the markers.
  static QColor layerColour(SegmentClass layer);
  static QRgb loadedInkColour();
  static QRgb inkColour();
  static QRgb thinnedInkColour();
  static QColor endPointColour();
  static QColor crossingColour();

 signals:
  // The two-point scale's result, as the scale calculator writes its result.
  void magnificationPicked(const QString& text);

 public slots:
  void fitClicked();         // ぜんたい: fit to the window
  void pickClicked();        // ２点でばいりつ: start or stop picking
  void backgroundChanged();  // the picture under the lines
  void canvasClicked(QPointF at);

 private:
  void reclassify();
  void updateStatus();
  void setHint(const QString& text);
  void askDistance();
  void endPicking(const QString& hint);

  Drawing drawing_;
  bool has_drawing_ = false;
  QString magnification_ = QStringLiteral("1.0");
  DxfOptions options_;
  LayerSummary summary_;
  std::shared_ptr<InkPyramid> loaded_picture_;
  std::shared_ptr<InkPyramid> ink_picture_;
  std::shared_ptr<InkPyramid> thinned_picture_;
  bool thinned_made_ = false;
  std::vector<cad::Point> picks_;

  QComboBox* background_list_;
  QCheckBox* markers_check_;
  QPushButton* fit_button_;
  QPushButton* pick_button_;
  QLabel* hint_label_;
  PreviewCanvas* canvas_;
  QStatusBar* status_bar_;
  StatusPanel* counts_panel_;
  StatusPanel* size_panel_;
  ReferenceDistanceDialog* distance_dialog_;
};

}  // namespace vp::gui

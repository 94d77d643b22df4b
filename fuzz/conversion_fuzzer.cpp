// A whole conversion of a small image: the first byte chooses the number of
// passes, at times a point at which the user aborts, and at times the fitted
// drawing (--cad); the rest is the file. The records must lie inside the grid,
// run forwards, and all be written; the fitted pieces must be finite and whole.
#include <cmath>
#include <cstdint>
#include <sstream>

#include "core/conversion.h"
#include "export/save_host.h"
#include "export/text_writer.h"
#include "fuzz/fuzz_support.h"
#include "imageio/bmp_reader.h"

namespace {

class QuietHost : public vp::ConversionHost, public vp::SaveHost {
 public:
  explicit QuietHost(std::int64_t abort_after) : abort_after_(abort_after) {}
  void conversion_started() override {}
  void conversion_finished() override {}
  bool serve_events() override { return abort_after_ < 0 || ++events_ < abort_after_; }
  void process_events() override {}
  void set_bar(vp::ProgressBar, int position) override {
    vp::fuzz::check(position >= 0 && position <= 100, "bar range");
  }
  void set_label(vp::ProgressLabel, std::string_view) override {}
  void show_message(std::string_view) override {}
  void begin_saving() override {}
  void set_saving_bar(int position) override { vp::fuzz::check(position >= 0 && position <= 100, "saving bar"); }
  void end_saving() override {}

 private:
  std::int64_t abort_after_;
  std::int64_t events_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vp;
  if (size < 2) return 0;
  const int passes = 1 + data[0] % 4;
  const std::int64_t abort_after = (data[0] & 0x80) != 0 ? data[1] : -1;
  const std::string& path = fuzz::write_input(data + 2, size - 2);
  {
    BmpReader probe;
    if (probe.open(path) == BmpStatus::Ok &&
        std::int64_t{probe.info().width} * probe.info().height > fuzz::kMaxConvertedPixels)
      return 0;
  }
  Conversion conversion;
  QuietHost host(abort_after);
  ConversionSettings settings;
  settings.Cad = (data[0] & 0x40) != 0 ? kFlagOn : kFlagOff;
  const ConversionResult result = conversion.ChangeImage(path, passes, host, settings);
  if (result.cad) {
    const cad::CadDrawing& d = conversion.cad_drawing();
    const auto finite = [](cad::Point p) { return std::isfinite(p.x) && std::isfinite(p.y); };
    for (const cad::Line& l : d.lines) fuzz::check(finite(l.a) && finite(l.b), "finite line");
    for (const cad::Arc& a : d.arcs)
      fuzz::check(
          finite(a.centre) && a.radius > 0 && a.sweep > 0 && a.sweep < 6.2832 && a.start >= 0 && a.start < 6.2832,
          "an arc of positive radius and sweep");
    for (const cad::Circle& c : d.circles) fuzz::check(finite(c.centre) && c.radius > 0, "a circle");
    std::ostringstream out;
    NoProgress progress;
    fuzz::check(write_text_cad(out, d, 1.0f, ExportOptions{}, progress), "fitted drawing written");
    return 0;
  }
  fuzz::check(result.done() || result.segments == 0, "no segments reported for a failed run");
  if (!result.done()) return 0;
  fuzz::check(result.segments == conversion.LineCount(), "the count is the records held");
  const PixelGrid& grid = conversion.grid();
  for (const LineRecord& r : conversion.records()) {
    fuzz::check(r.x1 >= 1 && r.x2 <= grid.width() - 2 && r.x1 <= r.x2, "x inside the image, forwards");
    fuzz::check(r.y1 >= 1 && r.y1 <= grid.height() - 2 && r.y2 >= 1 && r.y2 <= grid.height() - 2, "y inside");
    fuzz::check(r.y1 == r.y2 || r.x1 == r.x2 || r.x2 - r.x1 == (r.y2 > r.y1 ? r.y2 - r.y1 : r.y1 - r.y2),
                "horizontal, vertical or diagonal");
  }
  std::ostringstream out;
  NoProgress progress;
  fuzz::check(write_text(out, conversion.records(), 1.0f, ExportOptions{}, progress), "written");
  std::int64_t lines = 0;
  for (char c : out.str()) lines += c == '\n';
  fuzz::check(lines == conversion.LineCount(), "one line per record");
  return 0;
}

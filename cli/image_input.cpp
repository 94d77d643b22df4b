#include "cli/image_input.h"

#include <charconv>
#include <cstdio>
#include <new>

#include "cli/converter.h"
#include "cli/terminal_host.h"
#include "core/messages.h"
#include "core/scale.h"
#include "export/export_rules.h"
#include "imageio/image_formats.h"
#include "scan/decoding_thread.h"

namespace vp::cli {
namespace {

// Up to two decimals, without trailing zeros: "400", "25.4", "299.5".
std::string dpi_text(double dpi) {
  char text[64];
  const auto end = std::to_chars(text, text + sizeof text, dpi, std::chars_format::fixed, 2).ptr;
  std::string s(text, end);
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s;
}

// How the stored rows were stood upright, by the orientation's number.
std::string orientation_text(int orientation) {
  switch (orientation) {
    case 2:
      return "mirrored left to right";
    case 3:
      return "turned half round";
    case 4:
      return "mirrored top to bottom";
    case 5:
      return "mirrored across the diagonal from the top left";
    case 6:
      return "turned a quarter clockwise";
    case 7:
      return "mirrored across the diagonal from the top right";
    case 8:
      return "turned a quarter anticlockwise";
    default:
      return "as stored";
  }
}

}  // namespace

std::string resolution_text(const ImageInfo& info) {
  if (info.x_dpi <= 0 || info.y_dpi <= 0) return "unknown";
  if (info.x_dpi == info.y_dpi) return dpi_text(info.x_dpi) + " dpi";
  return dpi_text(info.x_dpi) + " x " + dpi_text(info.y_dpi) + " dpi";
}

std::string image_info_text(const std::string& path, const ImageInfo& stored) {
  // Size and resolution as the image is viewed, which is how it is converted.
  const ImageInfo info = upright(stored);
  std::string orientation;
  if (stored.orientation != 1) {
    orientation = "orientation: " + std::to_string(stored.orientation) + ", " + orientation_text(stored.orientation) +
                  " to stand upright (stored " + std::to_string(stored.width) + " x " + std::to_string(stored.height) +
                  ")\n";
  }
  std::string pixels = std::to_string(info.bits_per_pixel) + "-bit ";
  std::string ink;
  switch (info.kind) {
    case PixelKind::Palette:
      pixels += "palette of " + std::to_string(info.palette_entries) + " entries";
      ink = "palette index " + std::to_string(info.ink_index) + ", the entry nearest to black";
      break;
    case PixelKind::Grey:
      pixels += info.min_is_white ? "grey, 0 is white" : "grey, 0 is black";
      ink = "grey value " + std::to_string(info.ink_index) + ", the one nearest to black";
      break;
    case PixelKind::Rgb:
      pixels += "RGB";
      ink = "pure black (0, 0, 0) only";
      break;
  }
  return "file: " + path + "\n" + "format: " + info.format + " (" + info.encoding + ")\n" +
         "size: " + std::to_string(info.width) + " x " + std::to_string(info.height) + " pixels\n" + orientation +
         "pixels: " + pixels + "\n" + "ink: " + ink + "\n" + "resolution: " + resolution_text(info) + "\n";
}

std::string grey_summary_text(const scan::GreySummary& summary, const ImageInfo& info, std::int32_t first_rows_levels) {
  char share[32];
  std::snprintf(share, sizeof share, "%.2f %%", summary.auto_ink * 100);
  const scan::ThresholdMode by_format = scan::mode_for_image({}, info, true, first_rows_levels);
  return "grey levels: " + std::to_string(summary.levels_used) + " in use, " + std::to_string(summary.darkest) +
         " (darkest) to " + std::to_string(summary.lightest) + " (lightest), median " + std::to_string(summary.median) +
         "\n" + "threshold: " + scan::threshold_mode_text(by_format) + " by format; auto takes levels below " +
         std::to_string(summary.auto_threshold) + " of 255 (the paper) for ink, " + share + " of the pixels; otsu " +
         std::to_string(summary.otsu) + "\n";
}

namespace {

// One page's report; `pages` is set from the file once open.
int print_page_info(const std::string& path, const PageChoice& page, int& pages, std::ostream& out, std::ostream& err) {
  const OpenedImage image = open_any_image(path, page);
  if (image.status != ImageStatus::Ok) {
    if (image.status == ImageStatus::Unsupported) err << messages::kUnsupportedFormat << '\n';
    if (image.reader && image.reader->password_protected()) err << messages::kPasswordProtected << '\n';
    err << messages::kUnreadableImage << '\n';
    return 3;
  }
  pages = image.reader->page_count();
  const ImageInfo& info = image.reader->info();
  if (pages > 1) out << "page " << page.index + 1 << " of " << pages << "\n";
  out << image_info_text(path, info);
  if (!image.reader->has_grey_levels()) return 0;
  image.reader->set_stop_check(interrupt_requested);  // heard while a reader decodes without handing out rows
  ImageStatus status = ImageStatus::Ok;
  scan::GreySummary summary;
  try {
    // Decoded on a second thread while the first summarises the rows.
    summary = scan::summarise_grey(
        info.width, info.height,
        scan::decoded_on_own_thread([&](const GreyRowSink& sink) { return image.reader->read_grey_rows(sink); },
                                    info.width, [] { return !interrupt_requested(); }),
        status, info.x_dpi);
  } catch (const std::bad_alloc&) {
    err << messages::kOutOfMemory << '\n';
    return 2;
  }
  if (status != ImageStatus::Ok || interrupt_requested()) {
    if (interrupt_requested()) return kExitNotWritten;  // a reading cut short by it: the caller says so
    err << messages::kUnreadableImage << '\n';
    return 3;
  }
  out << grey_summary_text(summary, info, summary.first_rows_levels);  // as a conversion counts them
  return 0;
}

}  // namespace

int print_image_info(const std::string& path, int render_dpi, std::ostream& out, std::ostream& err) {
  int pages = 1;
  for (int index = 0; index < pages; ++index) {
    if (index > 0) out << "\n";
    const int status = print_page_info(path, {index, render_dpi}, pages, out, err);
    if (status != 0) return status;
  }
  return 0;
}

ResolvedRate resolve_rate(float rate, const std::string& scale_text, const std::string& input, const PageChoice& page) {
  ResolvedRate resolved{rate, "", ""};
  if (scale_text.empty()) return resolved;
  resolved.rate.reset();
  const std::string rate_option = std::string(kRateFromDpi) + scale_text;
  const std::optional<float> scale = parse_rate(scale_text);
  if (!scale) {
    resolved.error = "--rate from-dpi:SCALE needs a number for SCALE, not \"" + scale_text + "\"";
    return resolved;
  }
  const OpenedImage image = open_any_image(input, page);
  if (image.status != ImageStatus::Ok) return resolved;
  const ImageInfo info = upright(image.reader->info());
  if (info.x_dpi <= 0 || info.y_dpi <= 0) {
    resolved.error =
        "--rate " + rate_option + ": " + input + " does not give its resolution; give the magnification as a number";
    return resolved;
  }
  if (info.x_dpi != info.y_dpi) {
    resolved.error = "--rate " + rate_option + ": " + input + " has different resolutions across and down (" +
                     resolution_text(info) + "); give the magnification as a number";
    return resolved;
  }
  const float dpi = static_cast<float>(info.x_dpi);
  const std::optional<float> m = magnification(*scale, dpi);
  if (!m) {  // a resolution that rounds to 0 as a float
    resolved.error = "--rate " + rate_option + ": the resolution of " + input + " is too small to use";
    return resolved;
  }
  // The number the scale calculator would have shown, as the desktop program reads it.
  const std::string shown = magnification_text(*m);
  resolved.rate = parse_rate(shown);
  resolved.note = "magnification " + shown + " (1/" + scale_text + " at " + resolution_text(info) + ")";
  return resolved;
}

}  // namespace vp::cli

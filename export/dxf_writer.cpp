#include "export/dxf_writer.h"

#include <cstring>

#include "export/atomic_file.h"

namespace vp {

namespace {

constexpr bool option_on(std::int32_t value) { return value == 2; }

char* put(char* p, std::string_view text) {
  std::memcpy(p, text.data(), text.size());
  return p + text.size();
}

// Writes the template, the entities and the trailer with the dialog shown.
// Returns whether every write succeeded; stops at the first that did not.
bool write_dxf(std::ostream& out, const DxfSaveInput& input, const DxfHeaderTemplate& header,
               float rate, SavingDialog& dialog) {
  const std::string_view head = header.bytes();
  if (!out.write(head.data(), static_cast<std::streamsize>(head.size()))) return false;
  const CoordinateFormatter number(rate, DecimalDigits(input.options.DxfReal));
  const SegmentOptions layers = dxf_segment_options(input.options);
  const auto count = static_cast<std::int64_t>(input.records.size());
  char entity[kMaxDxfEntity];
  for (std::int64_t i = 0; i < count; ++i) {
    const LineRecord& r = input.records[static_cast<std::size_t>(i)];
    const std::size_t len = format_dxf_entity(r, classify_segment(r, rate, layers), number, entity);
    if (!out.write(entity, static_cast<std::streamsize>(len))) return false;
    // The bar only: the window system is not asked to process messages here.
    dialog.record_written(i + 1, count);
  }
  return static_cast<bool>(out.write(kDxfTrailer.data(), static_cast<std::streamsize>(kDxfTrailer.size())));
}

}  // namespace

std::string_view dxf_layer_name(SegmentClass layer) {
  switch (layer) {
    case SegmentClass::Horizontal:
      return "Horizon";
    case SegmentClass::Vertical:
      return "Vertical";
    case SegmentClass::Oblique:
      return "Oblique";
    case SegmentClass::Short:
      return "Short";
    case SegmentClass::Plain:
      break;
  }
  return "Velorin";
}

SegmentOptions dxf_segment_options(const DxfOptions& options) {
  return {option_on(options.DxfOption2), option_on(options.DxfOption1), options.DxfOption1_Len};
}

std::size_t format_dxf_entity(const LineRecord& r, SegmentClass layer,
                              const CoordinateFormatter& number, char* out) {
  char* p = out;
  p = put(p, "  0\r\nLINE\r\n  8\r\n");
  p = put(p, dxf_layer_name(layer));
  p = put(p, "\r\n  6\r\nCONTINUOUS\r\n 62\r\n  1\r\n 10\r\n   ");
  p += number.write(r.x1, p);
  p = put(p, "\r\n 20\r\n   ");
  p += number.write(r.y1, p);
  p = put(p, "\r\n 11\r\n   ");
  p += number.write(r.x2, p);
  p = put(p, "\r\n 21\r\n   ");
  p += number.write(r.y2, p);
  p = put(p, "\r\n");
  return static_cast<std::size_t>(p - out);
}

SaveResult SaveDXF(std::ostream& out, const DxfSaveInput& input, const DxfHeaderTemplate& header,
                   SaveHost& host) {
  const std::optional<float> rate = read_magnification(input.magnification, host);
  if (!rate) return {1, SaveFailure::InvalidRate, {}};
  bool ok = false;
  {
    SavingDialog dialog(host);
    ok = write_dxf(out, input, header, *rate, dialog) && out.flush();
  }
  if (!ok) return {1, SaveFailure::Write, std::make_error_code(std::errc::io_error)};
  return {};
}

SaveResult SaveDXF(const std::filesystem::path& path, const DxfSaveInput& input,
                   DxfHeaderTemplate& header, const std::filesystem::path& template_path,
                   SaveHost& host) {
  const std::optional<float> rate = read_magnification(input.magnification, host);
  if (!rate) return {1, SaveFailure::InvalidRate, {}};

  if (!template_path.empty()) {
    const DxfHeaderLoadResult loaded = reload_dxf_header(template_path, header);
    if (loaded.outcome == DxfHeaderLoad::Unreadable) {
      host.show_message(dxf_header_unreadable_message(template_path));
      return {1, SaveFailure::Template, loaded.error};
    }
  }

  SavingDialog dialog(host);
  AtomicFile file(path, abort_check(host));
  if (const std::error_code created = file.open()) return {1, SaveFailure::Create, created};
  bool written = false;
  {
    std::ostream out(&file.buffer());
    written = write_dxf(out, input, header, *rate, dialog);
  }
  // The file is closed and in place before the dialog goes away.
  if (const std::error_code failure = file.finish(written)) return {1, SaveFailure::Write, failure};
  return {};
}

}  // namespace vp

#include "export/text_writer.h"

#include "export/atomic_file.h"

namespace vp {

char text_delimiter(std::int32_t zahyou_div) {
  switch (zahyou_div) {
    case 1:
      return ',';
    case 2:
      return '-';
    case 3:
      return '/';
    default:
      return ' ';
  }
}

std::size_t format_text_line(const LineRecord& r, const CoordinateFormatter& number, char delimiter,
                             char* out) {
  char* p = out;
  p += number.write(r.x1, p);
  *p++ = delimiter;
  p += number.write(r.y1, p);
  *p++ = delimiter;
  p += number.write(r.x2, p);
  *p++ = delimiter;
  p += number.write(r.y2, p);
  *p++ = '\r';
  *p++ = '\n';
  return static_cast<std::size_t>(p - out);
}

bool write_text_records(std::ostream& out, std::span<const LineRecord> records, float rate,
                        std::int32_t zahyou_div, std::int32_t zahyou_real, SavingDialog& dialog) {
  const CoordinateFormatter number(rate, DecimalDigits(zahyou_real));
  const char delimiter = text_delimiter(zahyou_div);
  const auto count = static_cast<std::int64_t>(records.size());
  char line[kMaxTextLine];
  for (std::int64_t i = 0; i < count; ++i) {
    const std::size_t len =
        format_text_line(records[static_cast<std::size_t>(i)], number, delimiter, line);
    if (!out.write(line, static_cast<std::streamsize>(len))) return false;
    dialog.record_written(i + 1, count);
    dialog.process_events();
  }
  return true;
}

SaveResult SaveTXT(std::ostream& out, const TextSaveInput& input, SaveHost& host) {
  const std::optional<float> rate = read_magnification(input.magnification, host);
  if (!rate) return {1, SaveFailure::InvalidRate, {}};
  bool ok = false;
  {
    SavingDialog dialog(host);
    ok = write_text_records(out, input.records, *rate, input.zahyou_div, input.zahyou_real,
                            dialog) &&
         out.flush();
  }
  if (!ok) return {1, SaveFailure::Write, std::make_error_code(std::errc::io_error)};
  return {};
}

SaveResult SaveTXT(const std::filesystem::path& path, const TextSaveInput& input, SaveHost& host) {
  const std::optional<float> rate = read_magnification(input.magnification, host);
  if (!rate) return {1, SaveFailure::InvalidRate, {}};

  AtomicFile file(path, abort_check(host));
  if (const std::error_code created = file.open()) return {1, SaveFailure::Create, created};

  std::error_code failure;
  {
    SavingDialog dialog(host);
    bool written = false;
    {
      std::ostream out(&file.buffer());
      written = write_text_records(out, input.records, *rate, input.zahyou_div,
                                   input.zahyou_real, dialog);
    }
    // The file is closed and in place before the dialog goes away.
    failure = file.finish(written);
  }
  if (failure) return {1, SaveFailure::Write, failure};
  return {};
}

}  // namespace vp

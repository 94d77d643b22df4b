// The bytes a format's writer produces for a table, with no file in between.
#pragma once

#include <span>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "export/formats.h"

namespace vp::testing {

inline const ExportFormat& format_named(std::string_view name) {
  for (const ExportFormat& format : export_formats())
    if (format.name == name) return format;
  throw std::invalid_argument("no format " + std::string(name));
}

inline std::string written_bytes(std::string_view format, std::span<const LineRecord> records, float rate,
                                 const ExportOptions& options = {}) {
  std::ostringstream out;
  NoProgress progress;
  if (!format_named(format).write(out, records, rate, options, progress)) throw std::runtime_error("write failed");
  return out.str();
}

// The same for the fitted drawing, through the format's write_cad.
inline std::string written_cad_bytes(std::string_view format, const cad::CadDrawing& drawing, float rate,
                                     const ExportOptions& options = {}) {
  std::ostringstream out;
  NoProgress progress;
  if (!format_named(format).write_cad(out, drawing, rate, options, progress)) throw std::runtime_error("write failed");
  return out.str();
}

}  // namespace vp::testing

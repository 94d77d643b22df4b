// The DXF header template: the lines every DXF file starts with, kept in the
// file DXFHED.TXT in the program's folder and edited by the settings dialog.
//
// The lines are bytes: nothing is converted on the way in or out, so a template
// holding Shift-JIS text comes back unchanged. CR LF, LF and CR each end a line;
// a line end at the very end of the file adds no empty line. Written back, every
// line ends in CR LF.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace vp {

inline constexpr std::string_view kDxfHeaderFileName = "DXFHED.TXT";

class DxfHeaderTemplate {
 public:
  DxfHeaderTemplate() = default;
  explicit DxfHeaderTemplate(const std::vector<std::string>& lines);

  // Splits a file's bytes into lines (see above).
  static DxfHeaderTemplate from_bytes(std::string_view bytes);
  // Every line followed by CR LF: the file's bytes, and what a DXF file starts with.
  std::string to_bytes() const { return bytes_; }
  std::string_view bytes() const { return bytes_; }

  // The lines, copied out one string each (for editing; writing uses bytes()).
  std::vector<std::string> lines() const;
  bool empty() const { return bytes_.empty(); }

  friend bool operator==(const DxfHeaderTemplate&, const DxfHeaderTemplate&) = default;

 private:
  friend class DxfHeaderReader;
  // Held as one buffer, already in CR LF form: a template of millions of short
  // lines costs its bytes, not a string per line.
  std::string bytes_;
};

// Where the template lives: the program's folder joined with DXFHED.TXT.
std::filesystem::path dxf_header_path(const std::filesystem::path& program_folder);

// The template files a program may use, in the order it looks for them: the
// user's own copy, then the ones that came with the program (beside it, then
// the installed one under <prefix>/share/velorin-pelkin/).
struct DxfHeaderPlaces {
  std::filesystem::path user;
  std::vector<std::filesystem::path> bundled;
};

// The first of the places where something is there: a file, or something in
// the way that reading will report rather than pass over. A dangling link or a
// place that cannot be looked at is passed over. The user's copy when there is
// nothing anywhere, so that a template written later is found.
std::filesystem::path find_dxf_header(const DxfHeaderPlaces& places);

enum class DxfHeaderLoad {
  Loaded,      // the file's lines replaced the template's
  Missing,     // nothing at that path: the template is unchanged
  Unreadable,  // something is there but could not be read: the template is unchanged
};

struct DxfHeaderLoadResult {
  DxfHeaderLoad outcome = DxfHeaderLoad::Missing;
  std::error_code error;  // the reason, for Unreadable
};

// Reloads `header` from `path` when something is there. A folder or any other
// entry that cannot be read as a file counts as unreadable, not as missing: the
// user's template is in the way, and a DXF file without it would be incomplete.
DxfHeaderLoadResult reload_dxf_header(const std::filesystem::path& path, DxfHeaderTemplate& header);

// Writes the template to `path` as CR LF lines; an earlier file is replaced only
// once the new one is complete.
std::error_code save_dxf_header(const std::filesystem::path& path, const DxfHeaderTemplate& header);

struct DxfHeaderSaveResult {
  std::filesystem::path path;  // the file written, or the last one tried
  std::error_code error;
};

// Writes the template over the one find_dxf_header picks. When that cannot be
// written (an installed copy, read-only to the user), the user's own copy is
// written instead, its folder made first.
DxfHeaderSaveResult save_dxf_header(const DxfHeaderPlaces& places, const DxfHeaderTemplate& header);

// "ファイル %s は開けません" with the template's path in place of %s.
std::string dxf_header_unreadable_message(const std::filesystem::path& path);

}  // namespace vp

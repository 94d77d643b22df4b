#include "export/dxf_header.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <ostream>

#include "export/atomic_file.h"
#include "export/file_calls.h"
#include "raster/utf8_path.h"

namespace vp {

namespace {

std::error_code last_error() {
  const int e = errno;
  return std::error_code(e != 0 ? e : EIO, std::generic_category());
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

// Turns bytes with any of the three line ends into CR LF lines, a piece at a
// time, so that a file can be read in chunks straight into the template.
class DxfHeaderReader {
 public:
  explicit DxfHeaderReader(DxfHeaderTemplate& header) : out_(header.bytes_) { out_.clear(); }

  void feed(std::string_view bytes) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      const char c = bytes[i];
      if (c != '\r' && c != '\n') continue;
      out_.append(bytes.substr(start, i - start));
      start = i + 1;
      // CR LF is one line end, its CR perhaps at the end of the last piece; LF CR is two.
      const char previous = i > 0 ? bytes[i - 1] : last_;
      if (c == '\n' && previous == '\r') continue;
      out_ += "\r\n";
      in_line_ = false;
    }
    if (start < bytes.size()) {
      out_.append(bytes.substr(start));
      in_line_ = true;
    }
    if (!bytes.empty()) last_ = bytes.back();
  }

  // A last line without its end gets one.
  void finish() {
    if (in_line_) out_ += "\r\n";
    in_line_ = false;
  }

 private:
  std::string& out_;
  bool in_line_ = false;  // bytes of a line since the last line end
  char last_ = 0;         // the last byte fed
};

DxfHeaderTemplate::DxfHeaderTemplate(const std::vector<std::string>& lines) {
  std::size_t size = 0;
  for (const std::string& line : lines) size += line.size() + 2;
  bytes_.reserve(size);
  for (const std::string& line : lines) {
    bytes_ += line;
    bytes_ += "\r\n";
  }
}

DxfHeaderTemplate DxfHeaderTemplate::from_bytes(std::string_view bytes) {
  DxfHeaderTemplate header;
  DxfHeaderReader reader(header);
  reader.feed(bytes);
  reader.finish();
  return header;
}

std::vector<std::string> DxfHeaderTemplate::lines() const {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < bytes_.size()) {
    const std::size_t end = bytes_.find("\r\n", start);
    lines.emplace_back(bytes_.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::filesystem::path dxf_header_path(const std::filesystem::path& program_folder) {
  return program_folder / kDxfHeaderFileName;
}

std::filesystem::path find_dxf_header(const DxfHeaderPlaces& places) {
  // Followed through links: a dangling link, or a place that cannot even be looked at
  // (an unreadable home folder), holds no template and must not hide the next place.
  const auto there = [](const std::filesystem::path& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::exists(std::filesystem::status(path, ec)) && !ec;
  };
  if (there(places.user)) return places.user;
  for (const std::filesystem::path& path : places.bundled) {
    if (there(path)) return path;
  }
  return places.user;
}

DxfHeaderLoadResult reload_dxf_header(const std::filesystem::path& path, DxfHeaderTemplate& header) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (status.type() == fs::file_type::not_found) return {DxfHeaderLoad::Missing, {}};
  if (ec) return {DxfHeaderLoad::Unreadable, ec};
  if (fs::is_directory(status)) {
    return {DxfHeaderLoad::Unreadable, std::make_error_code(std::errc::is_a_directory)};
  }
  if (!fs::is_regular_file(status)) {
    // A pipe or a device could block or never end; a template is a plain file.
    return {DxfHeaderLoad::Unreadable, std::make_error_code(std::errc::invalid_argument)};
  }

  errno = 0;
  const std::unique_ptr<std::FILE, FileCloser> file(platform::open_c_file(path, "rb"));
  if (!file) return {DxfHeaderLoad::Unreadable, last_error()};
  // Straight into a fresh template, which replaces the old one only once complete.
  DxfHeaderTemplate loaded;
  DxfHeaderReader reader(loaded);
  char chunk[1 << 16];
  for (;;) {
    errno = 0;
    const std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
    reader.feed(std::string_view(chunk, got));
    if (got < sizeof chunk) {
      if (std::ferror(file.get())) return {DxfHeaderLoad::Unreadable, last_error()};
      break;
    }
  }
  reader.finish();
  header = std::move(loaded);
  return {DxfHeaderLoad::Loaded, {}};
}

std::error_code save_dxf_header(const std::filesystem::path& path, const DxfHeaderTemplate& header) {
  AtomicFile file(path);
  if (const std::error_code created = file.open()) return created;
  const std::string_view bytes = header.bytes();
  std::ostream out(&file.buffer());
  if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
    std::error_code failure = file.error();
    if (!failure) failure = std::make_error_code(std::errc::io_error);
    file.discard();
    return failure;
  }
  return file.commit();
}

DxfHeaderSaveResult save_dxf_header(const DxfHeaderPlaces& places, const DxfHeaderTemplate& header) {
  const std::filesystem::path found = find_dxf_header(places);
  if (found != places.user) {
    const std::error_code error = save_dxf_header(found, header);
    if (!error || places.user.empty()) return {found, error};
  }
  std::error_code ignored;
  std::filesystem::create_directories(places.user.parent_path(), ignored);
  return {places.user, save_dxf_header(places.user, header)};
}

std::string dxf_header_unreadable_message(const std::filesystem::path& path) {
  return "ファイル " + path_to_utf8(path) + " は開けません";
}

}  // namespace vp

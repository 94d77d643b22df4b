#include "export/pbm_writer.h"

#include <ostream>
#include <string>
#include <vector>

#include "export/atomic_file.h"
#include "raster/grid_rows.h"

namespace vp {

std::error_code write_grid_pbm(const std::filesystem::path& path, const PixelGrid& grid,
                               std::function<bool()> cancelled) {
  AtomicFile file(path, std::move(cancelled));
  if (std::error_code error = file.open()) return error;
  if (std::error_code error = write_grid_pbm(file, grid)) return error;
  return file.commit();
}

std::error_code write_grid_pbm(AtomicFile& file, const PixelGrid& grid) {
  std::ostream out(&file.buffer());
  const std::int32_t width = grid.width() - 2, height = grid.height() - 2;
  out << "P4\n" << width << ' ' << height << '\n';
  std::vector<char> row((static_cast<std::size_t>(width) + 7) / 8);
  GridRows rows(grid);
  for (std::int32_t y = height; y >= 1 && out; --y) {
    const std::uint64_t* ink = rows.ink_row(y);
    std::fill(row.begin(), row.end(), 0);
    for (std::int32_t c = 0; c < width; ++c) {
      const auto x = static_cast<std::size_t>(c) + 1;
      if ((ink[x / 64] >> (x % 64)) & 1) row[static_cast<std::size_t>(c) / 8] |= static_cast<char>(0x80 >> (c % 8));
    }
    out.write(row.data(), static_cast<std::streamsize>(row.size()));
  }
  out.flush();
  if (!out) {
    std::error_code error = file.error();
    return error ? error : std::make_error_code(std::errc::io_error);
  }
  return {};
}

}  // namespace vp

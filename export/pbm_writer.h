// The thinned grid as a PBM image (binary P4, 1 = ink), the image area only, top
// row first: a way for the user to see what the thinning passes did.
#pragma once

#include <filesystem>
#include <functional>
#include <system_error>

#include "export/atomic_file.h"
#include "raster/pixel_grid.h"

namespace vp {

// Written atomically: on failure any earlier file of that name is left as it was.
// `cancelled` as for AtomicFile.
std::error_code write_grid_pbm(const std::filesystem::path& path, const PixelGrid& grid,
                               std::function<bool()> cancelled = {});

// The same bytes into an open file, left uncommitted: for a file that must
// appear only together with another one.
std::error_code write_grid_pbm(AtomicFile& file, const PixelGrid& grid);

}  // namespace vp

// Loading an image file into a grid through the scan clean-up, for the tools
// that measure the ink as the thinning would get it (the pass-count advice).
#pragma once

#include <string>

#include "imageio/image_reader.h"
#include "raster/pixel_grid.h"
#include "scan/threshold.h"

namespace vp::scan {

struct CleanLoad {
  ImageStatus status = ImageStatus::Unreadable;  // of opening, then of reading
  bool out_of_memory = false;                    // the grid or the clean-up's buffers could not be had
};

// Opens `path` with the reader `readers` gives for it, sizes `grid` for it and
// fills it with the ink the rule of `cleanup` finds, specks removed.
CleanLoad load_clean_ink(const std::string& path, const ImageReaderFactory& readers, const CleanupSettings& cleanup,
                         PixelGrid& grid);

}  // namespace vp::scan

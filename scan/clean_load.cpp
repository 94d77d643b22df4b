#include "scan/clean_load.h"

#include <new>

#include "raster/upright_grid.h"
#include "scan/dust_removal.h"
#include "scan/grey_reading.h"

namespace vp::scan {

CleanLoad load_clean_ink(const std::string& path, const ImageReaderFactory& readers, const CleanupSettings& cleanup,
                         PixelGrid& grid) {
  CleanLoad result;
  try {
    const std::unique_ptr<ImageReader> reader = readers ? readers(path) : nullptr;
    result.status = reader ? reader->open(path) : ImageStatus::Unreadable;
    if (result.status != ImageStatus::Ok) return result;
    const ImageInfo& info = reader->info();
    if (!grid.reset(info.width, info.height, grid_layout_for(info.orientation, info.width, info.height)) ||
        !room_to_stand_upright(info.orientation, info.width, info.height)) {
      result.out_of_memory = true;
      return result;
    }
    const InkRowSink into_grid = upright_rows(info.orientation, info.width, info.height,
                                              [&](std::int32_t row_from_top, std::span<const std::uint64_t> ink) {
                                                grid.set_image_row(row_from_top, ink);
                                                return true;
                                              });
    // The grey rows read once, on a thread of their own; the reader's own rule reads the ink.
    const GreyReading reading = read_with_rule(*reader, cleanup.threshold, into_grid);
    result.status =
        reading.mode.rule == ThresholdRule::NearestBlack ? reader->read_rows(into_grid) : reading.outcome.status;
    if (result.status == ImageStatus::Ok && !finish_upright(grid, info.orientation)) {
      result.out_of_memory = true;
      return result;
    }
    if (result.status == ImageStatus::Ok) remove_specks(grid, cleanup.despeckle);
  } catch (const std::bad_alloc&) {
    result.out_of_memory = true;
  }
  return result;
}

}  // namespace vp::scan

#include "scan/clean_load.h"

#include <new>

#include "raster/upright_grid.h"
#include "scan/dust_removal.h"

namespace vp::scan {

CleanLoad load_clean_ink(const std::string& path, const ImageReaderFactory& readers, const CleanupSettings& cleanup,
                         PixelGrid& grid) {
  CleanLoad result;
  try {
    const std::unique_ptr<ImageReader> reader = readers ? readers(path) : nullptr;
    result.status = reader ? reader->open(path) : ImageStatus::Unreadable;
    if (result.status != ImageStatus::Ok) return result;
    const ImageInfo& info = reader->info();
    if (!grid.reset(info.width, info.height) || !room_to_stand_upright(info.orientation, info.width, info.height)) {
      result.out_of_memory = true;
      return result;
    }
    const InkRowSink into_grid = upright_rows(info.orientation, info.width, info.height,
                                              [&](std::int32_t row_from_top, std::span<const std::uint64_t> ink) {
                                                grid.set_image_row(row_from_top, ink);
                                                return true;
                                              });
    const bool grey = reader->has_grey_levels();
    const ThresholdMode mode =
        mode_for_image(cleanup.threshold, info, grey,
                       rule_counts_grey_levels(cleanup.threshold, info, grey) ? first_rows_grey_levels(*reader) : 0);
    if (mode.rule == ThresholdRule::NearestBlack) {
      result.status = reader->read_rows(into_grid);
    } else {
      result.status = apply_threshold(
                          mode, info.width, info.height,
                          [&](const GreyRowSink& sink) { return reader->read_grey_rows(sink); }, into_grid, info.x_dpi)
                          .status;
    }
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

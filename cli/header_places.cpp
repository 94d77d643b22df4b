#include "cli/system.h"

namespace vp::cli {

DxfHeaderPlaces dxf_header_places() {
  namespace fs = std::filesystem;
  const fs::path name(kDxfHeaderFileName);
  DxfHeaderPlaces places;
  if (const auto data = user_data_folder()) {
    places.user = *data / "velorin-pelkin" / name;
    places.bundled.push_back(*data / "Quillet" / "VelorinPelkin" / name);
  }
  if (const auto folder = program_folder()) {
    places.bundled.push_back(*folder / name);
    // <prefix>/bin/vpconvert -> <prefix>/share/velorin-pelkin/, wherever the prefix was moved.
    places.bundled.push_back(folder->parent_path() / "share" / "velorin-pelkin" / name);
  }
  places.bundled.push_back(fs::path(VP_INSTALLED_DATA_DIR) / name);
  return places;
}

}  // namespace vp::cli

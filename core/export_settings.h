// The stored export settings as the writers take them: on/off values (1/2)
// become switches and precision choices become numbers of decimals, here and
// nowhere else.
#pragma once

#include <string_view>

#include "core/conversion_settings.h"
#include "export/export_options.h"

namespace vp {

// `dxf_header`: the template's bytes, which must outlive the options.
ExportOptions export_options(const ConversionSettings& s, std::string_view dxf_header = {});

}  // namespace vp

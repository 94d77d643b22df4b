// The settings' home: QSettings with the organisation "Quillet", the
// application "VelorinPelkin" and the group "System". On Windows that is the
// current user's key Software\Quillet\VelorinPelkin\System; elsewhere Qt's
// per-user settings file. Every value is written as a string.
#pragma once

#include <QSettings>

#include "core/settings_storage.h"

namespace vp::gui {

class QtSettingsStorage final : public SettingsStorage {
 public:
  QtSettingsStorage();

  std::optional<std::string> read(std::string_view name) const override;
  void write(std::string_view name, std::string_view value) override;

  // Writes what is pending to disk.
  void sync() { settings_.sync(); }

 private:
  mutable QSettings settings_;
};

}  // namespace vp::gui

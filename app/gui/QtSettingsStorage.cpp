#include "app/gui/QtSettingsStorage.h"

#include <QString>

namespace vp::gui {
namespace {

QString key(std::string_view name) {
  return QStringLiteral("System/") + QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

}  // namespace

QtSettingsStorage::QtSettingsStorage()
    : settings_(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quillet"),
                QStringLiteral("VelorinPelkin")) {}

std::optional<std::string> QtSettingsStorage::read(std::string_view name) const {
  const QVariant value = settings_.value(key(name));
  if (!value.isValid()) return std::nullopt;
  return value.toString().toStdString();
}

void QtSettingsStorage::write(std::string_view name, std::string_view value) {
  settings_.setValue(key(name), QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
}

}  // namespace vp::gui

// Where the settings persist: a flat section of named string values.
//
// The desktop program keeps them under the current user's key
// "Software\Quillet\VelorinPelkin", section "System"; the converter and the tests
// keep them in memory. Every value is a string, integers included (as decimal text).
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vp {

inline constexpr std::string_view kSettingsKey = "Software\\Quillet\\VelorinPelkin";
inline constexpr std::string_view kSettingsSection = "System";

class SettingsStorage {
 public:
  virtual ~SettingsStorage() = default;
  // The stored text of `name`, or nothing when no such value exists.
  virtual std::optional<std::string> read(std::string_view name) const = 0;
  // Stores `value` under `name`, replacing what was there.
  virtual void write(std::string_view name, std::string_view value) = 0;
};

// Settings held in memory. Values keep the order in which their names were first
// written, so a save into an empty store lists them in the order they were saved.
class MemorySettingsStorage final : public SettingsStorage {
 public:
  using Entry = std::pair<std::string, std::string>;

  MemorySettingsStorage() = default;
  MemorySettingsStorage(std::initializer_list<Entry> entries) {
    for (const Entry& e : entries) write(e.first, e.second);
  }

  std::optional<std::string> read(std::string_view name) const override {
    for (const Entry& e : entries_) {
      if (e.first == name) return e.second;
    }
    return std::nullopt;
  }

  void write(std::string_view name, std::string_view value) override {
    for (Entry& e : entries_) {
      if (e.first == name) {
        e.second.assign(value);
        return;
      }
    }
    entries_.emplace_back(std::string(name), std::string(value));
  }

  bool erase(std::string_view name) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (it->first == name) {
        entries_.erase(it);
        return true;
      }
    }
    return false;
  }

  const std::vector<Entry>& entries() const { return entries_; }

 private:
  std::vector<Entry> entries_;
};

}  // namespace vp

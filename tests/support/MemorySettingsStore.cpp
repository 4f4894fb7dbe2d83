#include "support/MemorySettingsStore.h"

namespace dlu::test {

namespace {
MemorySettingsStore::Key makeKey(std::string_view p, std::string_view s, std::string_view k) {
    return {std::string(p), std::string(s), std::string(k)};
}
} // namespace

std::string MemorySettingsStore::getString(std::string_view section, std::string_view key,
                                           std::string_view defaultValue) {
    const auto it = values_.find(makeKey(profile_, section, key));
    if (it == values_.end() || !std::holds_alternative<std::string>(it->second)) {
        return std::string(defaultValue);
    }
    return std::get<std::string>(it->second);
}

void MemorySettingsStore::writeString(std::string_view section, std::string_view key,
                                      std::string_view value) {
    values_[makeKey(profile_, section, key)] = std::string(value);
    written_.push_back(std::string(section) + "/" + std::string(key));
}

int MemorySettingsStore::getInt(std::string_view section, std::string_view key, int defaultValue) {
    const auto it = values_.find(makeKey(profile_, section, key));
    if (it == values_.end() || !std::holds_alternative<int>(it->second)) {
        return defaultValue;
    }
    return std::get<int>(it->second);
}

void MemorySettingsStore::writeInt(std::string_view section, std::string_view key, int value) {
    values_[makeKey(profile_, section, key)] = value;
    written_.push_back(std::string(section) + "/" + std::string(key));
}

void MemorySettingsStore::seed(std::string_view profile, std::string_view section,
                               std::string_view key, Value value) {
    values_[makeKey(profile, section, key)] = std::move(value);
}

std::optional<MemorySettingsStore::Value> MemorySettingsStore::stored(std::string_view profile,
                                                                      std::string_view section,
                                                                      std::string_view key) const {
    const auto it = values_.find(makeKey(profile, section, key));
    if (it == values_.end()) {
        return std::nullopt;
    }
    return it->second;
}

} // namespace dlu::test

#pragma once

#include "common/SettingsStore.h"

#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <variant>
#include <vector>

namespace dlu::test {

// Settings held in memory, with a record of every write so tests can assert that start-up
// wrote nothing, or exactly one value.
class MemorySettingsStore final : public SettingsStore {
public:
    using Value = std::variant<std::string, int>;
    using Key = std::tuple<std::string, std::string, std::string>; // profile, section, key

    void selectProfile(std::string_view profile) override { profile_ = std::string(profile); }
    std::string profile() const override { return profile_; }

    std::string getString(std::string_view section, std::string_view key,
                          std::string_view defaultValue) override;
    void writeString(std::string_view section, std::string_view key,
                     std::string_view value) override;
    int getInt(std::string_view section, std::string_view key, int defaultValue) override;
    void writeInt(std::string_view section, std::string_view key, int value) override;

    // Seeds a value without counting it as a write.
    void seed(std::string_view profile, std::string_view section, std::string_view key,
              Value value);
    std::optional<Value> stored(std::string_view profile, std::string_view section,
                                std::string_view key) const;
    int writeCount() const { return static_cast<int>(written_.size()); }
    // "section/key" of every write, in order.
    const std::vector<std::string>& written() const { return written_; }

private:
    std::string profile_;
    std::map<Key, Value> values_;
    std::vector<std::string> written_;
};

} // namespace dlu::test

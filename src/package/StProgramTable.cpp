#include "package/StProgramTable.h"

#include "package/FileIo.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>
#include <vector>

namespace dlu {

namespace {

bool hasStlExtension(const std::string& name) {
    constexpr std::string_view kExt = ".STL";
    if (name.size() < kExt.size()) {
        return false;
    }
    return std::equal(
        kExt.begin(), kExt.end(), name.end() - static_cast<long>(kExt.size()),
        [](char a, char b) { return a == std::toupper(static_cast<unsigned char>(b)); });
}

} // namespace

bool StProgramTable::addStl(std::span<const std::uint8_t> head) {
    head = head.first(std::min(head.size(), kStlReadSize));
    if (head.size() <= kNumberOffset) {
        return false;
    }
    const std::size_t number = head[kNumberOffset];
    if (number >= kEntryCount) {
        return false;
    }
    ProgramEntry entry;
    entry.presence = 1;
    entry.pid = static_cast<std::uint16_t>(number);
    if (head.size() > kNameOffset) {
        const auto name = head.subspan(kNameOffset);
        const std::size_t n = std::min(name.size(), ProgramEntry::kNameSize);
        std::transform(name.begin(), name.begin() + static_cast<long>(n), entry.name.begin(),
                       [](std::uint8_t b) { return static_cast<char>(b); });
    }
    entries_[number] = entry;
    return true;
}

void StProgramTable::build(const std::string& stFolder) {
    clear();
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(stFolder, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError) && !it->is_symlink(typeError)) {
            std::string name = it->path().filename().string();
            if (hasStlExtension(name)) {
                names.push_back(std::move(name));
            }
        }
    }
    std::sort(names.begin(), names.end());
    std::string folder = stFolder;
    if (!folder.empty() && folder.back() != '/') {
        folder += '/';
    }
    for (const std::string& name : names) {
        if (const auto head = fileio::readPrefix(folder + name, kStlReadSize)) {
            addStl(*head);
        }
    }
}

} // namespace dlu

#include "package/FileIo.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace dlu::fileio {

bool exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::path(path), ec);
}

bool isRegularFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(fs::path(path), ec);
}

std::optional<std::vector<std::uint8_t>> readAll(const std::string& path, std::size_t limit) {
    std::ifstream in(fs::path(path), std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || static_cast<unsigned long long>(size) > limit) {
        return std::nullopt;
    }
    in.seekg(0, std::ios::beg);
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
    if (!data.empty() && !in.read(reinterpret_cast<char*>(data.data()), size)) {
        return std::nullopt;
    }
    return data;
}

std::optional<std::vector<std::uint8_t>> readPrefix(const std::string& path, std::size_t count) {
    std::ifstream in(fs::path(path), std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> data(count);
    in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(count));
    if (in.bad()) {
        return std::nullopt;
    }
    data.resize(static_cast<std::size_t>(in.gcount()));
    return data;
}

bool writeAll(const std::string& path, std::span<const std::uint8_t> data) {
    std::ofstream out(fs::path(path), std::ios::binary | std::ios::trunc);
    if (!out) {
        return false;
    }
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
    out.close();
    return static_cast<bool>(out);
}

bool copyFile(const std::string& from, const std::string& to) {
    std::error_code ec;
    fs::copy_file(fs::path(from), fs::path(to), fs::copy_options::overwrite_existing, ec);
    return !ec && isRegularFile(to);
}

bool removeFile(const std::string& path) {
    std::error_code ec;
    const fs::path p = fs::path(path);
    if (fs::is_directory(fs::symlink_status(p, ec))) {
        return false;
    }
    fs::remove(p, ec);
    return !fs::exists(fs::symlink_status(p, ec));
}

SavedStatus SavedStatus::of(const std::string& path) {
    SavedStatus s;
    std::error_code ec;
    const fs::path p = fs::path(path);
    const auto time = fs::last_write_time(p, ec);
    if (ec) {
        return s;
    }
    const auto status = fs::status(p, ec);
    if (ec) {
        return s;
    }
    s.valid_ = true;
    s.mtimeTicks_ = static_cast<long long>(time.time_since_epoch().count());
    s.perms_ = static_cast<unsigned>(status.permissions());
    return s;
}

void SavedStatus::restore(const std::string& path) const {
    if (!valid_) {
        return;
    }
    std::error_code ec;
    const fs::path p = fs::path(path);
    fs::permissions(p, static_cast<fs::perms>(perms_), fs::perm_options::replace, ec);
    fs::last_write_time(p, fs::file_time_type(fs::file_time_type::duration(mtimeTicks_)), ec);
}

bool equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

std::optional<std::string> findNoCase(const std::string& folder, std::string_view name) {
    if (name.empty()) {
        return std::nullopt;
    }
    std::error_code ec;
    if (fs::exists(fs::symlink_status(fs::path(folder + std::string(name)), ec))) {
        return folder + std::string(name);
    }
    std::optional<std::string> found;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (equalNoCase(entry, name) && (!found || entry < *found)) {
            found = entry;
        }
    }
    if (!found) {
        return std::nullopt;
    }
    return folder + *found;
}

} // namespace dlu::fileio

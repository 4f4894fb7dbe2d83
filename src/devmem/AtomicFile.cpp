#include "devmem/AtomicFile.h"

#include "common/FileTarget.h"

#include <cerrno>
#include <fstream>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dlu {

namespace {

// The process's file creation mask, read without changing it (umask() would change it for
// every thread for a moment). Falls back to the usual 022.
mode_t currentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            try {
                return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8)) & 0777;
            } catch (const std::exception&) {
                break;
            }
        }
    }
    return 022;
}

bool writeAllTo(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return true;
}

// Makes a completed rename durable: the folder entry itself must reach the disk.
void syncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

bool replaceFileAtomically(const std::filesystem::path& target,
                           std::span<const std::uint8_t> bytes) {
    // Only a regular file is ever replaced: a rename would put a plain file in place of a
    // device node, a named pipe, a link or a folder.
    if (!nonRegularTarget(target.string()).empty()) {
        errno = EEXIST;
        return false;
    }
    const std::filesystem::path folder =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    // A fresh name that nobody can have planted: mkstemp creates it exclusively (O_EXCL, so
    // a link at that name is never followed) with private permissions.
    std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const std::filesystem::path temp = pattern;

    // The replacement keeps the permissions of the file it replaces; a new file gets the
    // permissions an ordinary save would give it.
    struct stat old {};
    const mode_t mode = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)
                            ? (old.st_mode & 07777)
                            : (0666 & ~currentUmask());
    bool ok = ::fchmod(fd, mode) == 0;
    ok = ok && writeAllTo(fd, bytes);
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    // Checked again just before the rename, so that the window for a swap is as short as the
    // file system allows.
    if (ok && !nonRegularTarget(target.string()).empty()) {
        ok = false;
    }
    if (ok) {
        ok = ::rename(temp.c_str(), target.c_str()) == 0;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    syncFolder(folder);
    return true;
}

} // namespace dlu

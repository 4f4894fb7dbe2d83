#include "package/CFileControl.h"

#include "common/MessageIds.h"
#include "package/ArchiveEntryName.h"
#include "package/CFileEncryption.h"
#include "package/FileIo.h"
#include "package/FileKind.h"

#include <minizip/unzip.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace dlu {

namespace {

constexpr std::string_view kBackupSuffix = "buff";
constexpr std::string_view kUnpackSuffix = "_dwnbuff/";

std::string upper(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return out;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string fileNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A folder of our own below the temporary folder, for packages on read-only media.
std::string makePrivateFolder() {
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    if (ec) {
        return {};
    }
    std::string pattern = (base / "dlutil-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        return {};
    }
    return pattern + "/";
}

struct UnzCloser {
    void operator()(void* zip) const { unzClose(static_cast<unzFile>(zip)); }
};

// Extracts the current entry to `target`; false (and nothing left at `target`) when the
// entry cannot be read whole or fails its CRC check, or `budget` runs out.
bool extractCurrent(unzFile zip, const fs::path& target, std::uint64_t& budget) {
    if (unzOpenCurrentFile(zip) != UNZ_OK) {
        return false;
    }
    bool ok = true;
    {
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        ok = static_cast<bool>(out);
        std::vector<char> buffer(std::size_t{1} << 16);
        while (ok) {
            const int n =
                unzReadCurrentFile(zip, buffer.data(), static_cast<unsigned>(buffer.size()));
            if (n == 0) {
                break;
            }
            if (n < 0 || static_cast<std::uint64_t>(n) > budget) {
                ok = false;
                break;
            }
            budget -= static_cast<std::uint64_t>(n);
            out.write(buffer.data(), n);
            ok = static_cast<bool>(out);
        }
    }
    // The CRC is checked here, once the whole entry has been read.
    if (unzCloseCurrentFile(zip) != UNZ_OK) {
        ok = false;
    }
    if (!ok) {
        std::error_code ec;
        fs::remove(target, ec);
    }
    return ok;
}

} // namespace

CFileControl::CFileControl(Prompter& prompter, const Messages& messages)
    : prompter_(prompter), messages_(messages) {}

CFileControl::~CFileControl() { Close(); }

void CFileControl::reportBadPackage() { prompter_.message(messages_(Msg::DownloadFileError)); }

bool CFileControl::Open(const std::string& packagePath, CFileEncryption& encryption) {
    Close();
    packagePath_ = packagePath;
    packageFileName_ = fileNameOf(packagePath);
    if (!fileio::isRegularFile(packagePath)) {
        reportBadPackage();
        return false;
    }

    workFolder_ = folderOf(packagePath);
    archivePath_ = packagePath + std::string(kBackupSuffix);
    // A leftover at the copy's name is removed first: copying onto a symbolic link would
    // write wherever it points.
    fileio::removeFile(archivePath_);
    if (!fileio::copyFile(packagePath, archivePath_)) {
        privateFolder_ = makePrivateFolder();
        workFolder_ = privateFolder_;
        archivePath_ = privateFolder_ + packageFileName_ + std::string(kBackupSuffix);
        if (privateFolder_.empty() || !fileio::copyFile(packagePath, archivePath_)) {
            Close();
            reportBadPackage();
            return false;
        }
    }
    openedCopy_ = true;

    // A package is the archive encrypted as a whole with the current scheme. One that was
    // not (a plain archive, say) must fail for every length, not only for lengths that
    // happen to be whole cipher blocks.
    if (!encryption.DecryptFile(archivePath_, CFileEncryption::kCurrentSchemeWithMessages)) {
        Close();
        reportBadPackage();
        return false;
    }
    Unpack(packagePath, packageFileName_);
    if (!Scan()) {
        Close();
        return false;
    }
    return true;
}

void CFileControl::Close() {
    if (!unpackFolder_.empty()) {
        DeleteFolder();
    }
    if (openedCopy_) {
        fileio::removeFile(archivePath_);
        openedCopy_ = false;
    }
    if (!privateFolder_.empty()) {
        std::error_code ec;
        fs::remove_all(privateFolder_, ec);
        privateFolder_.clear();
    }
}

void CFileControl::Unpack(const std::string& packagePath, const std::string& packageFileName) {
    packagePath_ = packagePath;
    packageFileName_ = packageFileName;
    if (!openedCopy_) {
        archivePath_ = packagePath;
        workFolder_ = folderOf(packagePath);
    }
    const std::string stem = packageFileName.size() > 4
                                 ? packageFileName.substr(0, packageFileName.size() - 4)
                                 : packageFileName;
    unpackFolder_ = workFolder_ + stem + std::string(kUnpackSuffix);
    lastUnpack_ = {};

    // A folder left by a run that was killed may hold another package's files: start empty.
    DeleteFolder();
    std::error_code ec;
    fs::create_directories(unpackFolder_, ec);

    std::unique_ptr<void, UnzCloser> zip(unzOpen64(archivePath_.c_str()));
    if (!zip) {
        return; // no archive: no entries, and Scan reports it
    }
    lastUnpack_.archiveOpened = true;
    unzFile z = static_cast<unzFile>(zip.get());
    std::uint64_t budget = kMaxExtractedBytes;
    std::array<char, kMaxEntryNameLength + 1> name{};
    // Every path and folder prefix seen, by its upper-case form: two that differ only in
    // case would be one file on the file system the package was made on.
    std::map<std::string, std::string> seen;
    const auto remember = [&](const std::string& relative) {
        for (std::size_t end = relative.find('/');; end = relative.find('/', end + 1)) {
            const std::string part = relative.substr(0, end);
            if (!part.empty()) {
                const auto [it, added] = seen.emplace(upper(part), part);
                if (!added && it->second != part) {
                    ++lastUnpack_.caseClashes;
                    return;
                }
            }
            if (end == std::string::npos) {
                return;
            }
        }
    };
    std::size_t index = 0;
    int rc = unzGoToFirstFile(z);
    for (; rc == UNZ_OK && index < kMaxEntries; rc = unzGoToNextFile(z), ++index) {
        unz_file_info64 info{};
        if (unzGetCurrentFileInfo64(z, &info, name.data(), name.size(), nullptr, 0, nullptr, 0) !=
                UNZ_OK ||
            info.size_filename > kMaxEntryNameLength) {
            ++lastUnpack_.damaged;
            continue;
        }
        const auto relative = safeEntryPath(
            std::string_view(name.data(), static_cast<std::size_t>(info.size_filename)));
        if (!relative) {
            ++lastUnpack_.refused;
            continue;
        }
        remember(*relative);
        const fs::path target = fs::path(unpackFolder_) / *relative;
        if (relative->back() == '/') {
            fs::create_directories(target, ec);
            continue;
        }
        fs::create_directories(target.parent_path(), ec);
        if (extractCurrent(z, target, budget)) {
            ++lastUnpack_.extracted;
        } else {
            ++lastUnpack_.damaged;
        }
    }
    // The walk must end at the end of the directory: a read error, or more entries than
    // the limit, leaves entries behind.
    if (rc != UNZ_END_OF_LIST_OF_FILE) {
        ++lastUnpack_.damaged;
    }
}

std::string CFileControl::subFolder(std::string_view name) const {
    const auto found = fileio::findNoCase(unpackFolder_, name);
    return (found ? *found : unpackFolder_ + std::string(name)) + "/";
}

bool CFileControl::Scan() {
    projectSize_ = 0;
    linkFileName_.clear();
    parameterFileName_.clear();
    projectInfoFileName_.clear();
    if (lastUnpack_.archiveOpened && !lastUnpack_.complete()) {
        reportBadPackage();
        return false;
    }

    std::vector<std::pair<std::string, std::uintmax_t>> files;
    std::error_code ec;
    for (fs::directory_iterator it(unpackFolder_, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_symlink(typeError) || !it->is_regular_file(typeError)) {
            continue;
        }
        files.emplace_back(it->path().filename().string(), it->file_size(typeError));
    }
    // Enumeration order is the file system's; sort so that "the last one found" is the
    // same on every machine.
    std::sort(files.begin(), files.end());
    for (const auto& [name, size] : files) {
        const std::string_view ext = pathExtension(name);
        if (ext != "INI") {
            projectSize_ += static_cast<std::uint32_t>(size);
        }
        const std::string kind = upper(ext);
        if (kind == "BIN") {
            linkFileName_ = name;
        } else if (kind == "PRM") {
            parameterFileName_ = name;
        } else if (kind == "INI") {
            projectInfoFileName_ = name;
        }
    }
    if (linkFileName_.empty() || parameterFileName_.empty() || projectInfoFileName_.empty()) {
        reportBadPackage();
        return false;
    }
    return true;
}

void CFileControl::DeleteFolder(const std::string& folder) {
    const std::string& target = folder.empty() ? unpackFolder_ : folder;
    if (target.empty()) {
        return;
    }
    std::error_code ec;
    fs::remove_all(target, ec);
}

} // namespace dlu

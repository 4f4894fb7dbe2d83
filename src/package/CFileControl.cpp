#include "package/CFileControl.h"

#include "common/MessageIds.h"
#include "common/TerminalText.h"
#include "common/TextFormat.h"
#include "package/ArchiveEntryName.h"
#include "package/CFileEncryption.h"
#include "package/FileIo.h"
#include "package/FileKind.h"

#include <minizip/unzip.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace dlu {

namespace {

// Names inside the private working folder: nobody else can write there.
constexpr std::string_view kArchiveName = "package.zip";
constexpr std::string_view kUnpackName = "unpacked/";
constexpr std::string_view kFolderPattern = "dlutil-XXXXXX";
constexpr std::string_view kFolderPrefix = "dlutil-";

// The cause lines of refused packages. Entry names come from the package: escaped, and kept
// on the one line.
std::string entryText(std::string_view name) { return displaySafe(name); }

std::string sizeText(std::uint64_t bytes) {
    constexpr std::uint64_t kKiB = 1024;
    if (bytes % (kKiB * kKiB) == 0) {
        return std::to_string(bytes / (kKiB * kKiB)) + " MiB";
    }
    if (bytes % kKiB == 0) {
        return std::to_string(bytes / kKiB) + " KiB";
    }
    return std::to_string(bytes) + " bytes";
}

constexpr std::string_view kNotEncrypted = "not an encrypted package";

std::string fileNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct UnzCloser {
    void operator()(void* zip) const { unzClose(static_cast<unzFile>(zip)); }
};

// Extracts the current entry to `target`, inflating in pieces and counting what comes: the
// sizes in the archive's headers are never trusted. Gives the bytes written, or nothing
// (and nothing left at `target`) when the entry cannot be read whole, fails its CRC check or
// passes `limit`; `overLimit` tells the last case.
std::optional<std::uint64_t> extractCurrent(unzFile zip, const fs::path& target,
                                            std::uint64_t limit, bool& overLimit) {
    if (unzOpenCurrentFile(zip) != UNZ_OK) {
        return std::nullopt;
    }
    std::uint64_t written = 0;
    bool ok = true;
    {
        fileio::NewFile out(target.string());
        ok = out.ok();
        std::vector<std::uint8_t> buffer(std::size_t{1} << 16);
        while (ok) {
            const int n =
                unzReadCurrentFile(zip, buffer.data(), static_cast<unsigned>(buffer.size()));
            if (n == 0) {
                break;
            }
            if (n < 0) {
                ok = false;
                break;
            }
            written += static_cast<std::uint64_t>(n);
            if (written > limit) {
                overLimit = true;
                ok = false;
                break;
            }
            ok = out.write(std::span(buffer).first(static_cast<std::size_t>(n)));
        }
        ok = out.close() && ok;
    }
    // The CRC is checked here, once the whole entry has been read.
    if (unzCloseCurrentFile(zip) != UNZ_OK) {
        ok = false;
    }
    if (!ok) {
        std::error_code ec;
        fs::remove(target, ec);
        return std::nullopt;
    }
    return written;
}

// The programming tool ran on a case-insensitive file system: "ST/a.STB" and "st/b.STL" were
// one folder there, so every folder takes the spelling it was first seen with. Two files (or a
// file and a folder) whose whole paths differ only in case were one file there: the package is
// not the project its author made.
class CaseFolding {
public:
    // The path an entry is unpacked to; nothing when it clashes with an earlier one.
    std::optional<std::string> fold(const std::string& relative) {
        const bool folderEntry = relative.back() == '/';
        std::string out;
        std::size_t start = 0;
        for (std::size_t end = relative.find('/'); end != std::string::npos;
             start = end + 1, end = relative.find('/', start)) {
            const std::string path = out + relative.substr(start, end - start);
            const std::string key = upperAscii(path);
            if (files_.count(key) != 0) {
                return std::nullopt;
            }
            out = folders_.emplace(key, path).first->second + "/";
        }
        if (folderEntry) {
            return out;
        }
        const std::string path = out + relative.substr(start);
        const std::string key = upperAscii(path);
        if (folders_.count(key) != 0) {
            return std::nullopt;
        }
        const auto [it, added] = files_.emplace(key, path);
        if (!added && it->second != path) {
            return std::nullopt;
        }
        return path;
    }

private:
    std::map<std::string, std::string> folders_; // by upper-case path: the spelling kept
    std::map<std::string, std::string> files_;
};

} // namespace

CFileControl::CFileControl(Prompter& prompter, const Messages& messages)
    : prompter_(prompter), messages_(messages) {}

CFileControl::~CFileControl() { Close(); }

void CFileControl::reportBadPackage(std::string cause) {
    lastRefusal_ = std::move(cause);
    prompter_.messageWithCause(messages_(Msg::DownloadFileError), lastRefusal_);
}

bool CFileControl::makePrivateFolder() {
    // Whatever a killed run of ours left goes first; folders of live runs stay.
    fileio::removeStaleFolders(kFolderPrefix);
    const std::optional<std::string> folder = fileio::makePrivateFolder(kFolderPattern, &lock_);
    if (!folder) {
        return false;
    }
    privateFolder_ = *folder + "/";
    return true;
}

bool CFileControl::Open(const std::string& packagePath, CFileEncryption& encryption) {
    Close();
    lastRefusal_.clear();
    packagePath_ = packagePath;
    packageFileName_ = fileNameOf(packagePath);
    std::error_code ec;
    if (!fileio::isRegularFile(packagePath)) {
        reportBadPackage(fs::exists(packagePath, ec) ? "not a regular file"
                                                     : "the file does not exist");
        return false;
    }
    const std::uintmax_t size = fs::file_size(packagePath, ec);
    if (ec) {
        reportBadPackage("the file cannot be read");
        return false;
    }
    if (size > limits_.packageFileBytes) {
        reportBadPackage("over the limit of " + sizeText(limits_.packageFileBytes) +
                         " for a package file");
        return false;
    }
    if (!makePrivateFolder()) {
        reportBadPackage("no private working folder could be made");
        return false;
    }
    archivePath_ = privateFolder_ + std::string(kArchiveName);
    if (!fileio::copyToNewFile(packagePath, archivePath_)) {
        Close();
        reportBadPackage("the package could not be copied to the working folder");
        return false;
    }
    openedCopy_ = true;

    // A package is the archive encrypted as a whole with the current scheme. One that was
    // not (a plain archive, say) must fail for every length, not only for lengths that
    // happen to be whole cipher blocks.
    if (!encryption.DecryptFile(archivePath_, CFileEncryption::kCurrentSchemeWithMessages)) {
        Close();
        reportBadPackage(std::string(kNotEncrypted));
        return false;
    }
    Unpack(packagePath, packageFileName_);
    // The unpacked files are all that is used from here: the decrypted archive goes at once,
    // so that disk holds one copy of the project, not two.
    fileio::removeFile(archivePath_);
    openedCopy_ = false;
    if (!Scan()) {
        Close();
        return false;
    }
    return true;
}

void CFileControl::Close() {
    if (!privateFolder_.empty()) {
        std::error_code ec;
        fs::remove_all(privateFolder_, ec);
        privateFolder_.clear();
    }
    // The owner's lock goes only once the folder is gone.
    if (lock_ >= 0) {
        ::close(lock_);
        lock_ = -1;
    }
    unpackFolder_.clear();
    openedCopy_ = false;
}

bool CFileControl::extractEntry(void* zip, std::uint64_t declaredSize, const fs::path& target,
                                const std::string& entry, std::uint64_t& unpacked) {
    // The declared size is checked first so that a too large entry costs nothing; the
    // streamed size is what counts.
    const std::uint64_t limit = std::min(limits_.entryBytes, limits_.unpackedBytes - unpacked);
    const std::string overLimit =
        limit == limits_.entryBytes
            ? "entry " + entry + " over the limit of " + sizeText(limits_.entryBytes)
            : "over the limit of " + sizeText(limits_.unpackedBytes) + " unpacked";
    if (declaredSize > limit) {
        lastUnpack_.overLimit = true;
        noteProblem(overLimit);
        return false;
    }
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    fileio::removeFile(target.string()); // a later entry of the same name replaces it
    const auto written =
        extractCurrent(static_cast<unzFile>(zip), target, limit, lastUnpack_.overLimit);
    if (lastUnpack_.overLimit) {
        noteProblem(overLimit);
        return false;
    }
    if (written) {
        unpacked += *written;
        ++lastUnpack_.extracted;
    } else {
        ++lastUnpack_.damaged;
        noteProblem("damaged entry " + entry);
    }
    return true;
}

void CFileControl::noteProblem(std::string cause) {
    // The first problem found is the one told.
    if (lastUnpack_.cause.empty()) {
        lastUnpack_.cause = std::move(cause);
    }
}

void CFileControl::Unpack(const std::string& packagePath, const std::string& packageFileName) {
    packagePath_ = packagePath;
    packageFileName_ = packageFileName;
    lastUnpack_ = {};
    if (!openedCopy_) {
        archivePath_ = packagePath;
    }
    if (privateFolder_.empty() && !makePrivateFolder()) {
        unpackFolder_.clear();
        lastUnpack_.cause = "no private working folder could be made";
        return; // nowhere to unpack: no entries, and Scan reports it
    }
    unpackFolder_ = privateFolder_ + std::string(kUnpackName);
    DeleteFolder();
    std::error_code ec;
    fs::create_directory(unpackFolder_, ec);

    std::unique_ptr<void, UnzCloser> zip(unzOpen64(archivePath_.c_str()));
    if (!zip) {
        // Decrypted with the wrong key, or never encrypted, the copy is no archive.
        lastUnpack_.cause = openedCopy_ ? std::string(kNotEncrypted) : "not a ZIP archive";
        return; // no archive: no entries, and Scan reports it
    }
    lastUnpack_.archiveOpened = true;
    unzFile z = static_cast<unzFile>(zip.get());
    unz_global_info64 global{};
    const std::string tooManyEntries =
        "over the limit of " + std::to_string(limits_.entries) + " entries";
    if (unzGetGlobalInfo64(z, &global) == UNZ_OK && global.number_entry > limits_.entries) {
        lastUnpack_.overLimit = true;
        lastUnpack_.cause = tooManyEntries;
        return;
    }
    std::uint64_t unpacked = 0;
    std::array<char, kMaxEntryNameLength + 1> name{};
    CaseFolding folding;
    std::size_t index = 0;
    int rc = unzGoToFirstFile(z);
    for (; rc == UNZ_OK && index < limits_.entries; rc = unzGoToNextFile(z), ++index) {
        unz_file_info64 info{};
        if (unzGetCurrentFileInfo64(z, &info, name.data(), name.size(), nullptr, 0, nullptr, 0) !=
                UNZ_OK ||
            info.size_filename > kMaxEntryNameLength) {
            ++lastUnpack_.damaged;
            noteProblem("damaged entry number " + std::to_string(index + 1));
            continue;
        }
        const auto relative = safeEntryPath(
            std::string_view(name.data(), static_cast<std::size_t>(info.size_filename)));
        if (!relative) {
            ++lastUnpack_.refused;
            continue;
        }
        const auto folded = folding.fold(*relative);
        if (!folded) {
            ++lastUnpack_.caseClashes;
            noteProblem("entry " + entryText(*relative) +
                        " differs from another only in letter case");
            continue;
        }
        const fs::path target = fs::path(unpackFolder_) / *folded;
        if (folded->back() == '/') {
            fs::create_directories(target, ec);
            continue;
        }
        if (!extractEntry(z, info.uncompressed_size, target, entryText(*relative), unpacked)) {
            return;
        }
    }
    if (index == limits_.entries && rc == UNZ_OK) {
        lastUnpack_.overLimit = true;
        noteProblem(tooManyEntries);
        return;
    }
    // The walk must end at the end of the directory: a read error leaves entries behind.
    if (rc != UNZ_END_OF_LIST_OF_FILE) {
        ++lastUnpack_.damaged;
        noteProblem("damaged archive directory after entry number " + std::to_string(index));
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
    if (!lastUnpack_.archiveOpened && !lastUnpack_.cause.empty()) {
        reportBadPackage(lastUnpack_.cause);
        return false;
    }
    if (lastUnpack_.archiveOpened && !lastUnpack_.complete()) {
        reportBadPackage(lastUnpack_.cause);
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
        const std::string kind = upperAscii(ext);
        if (kind == "BIN") {
            linkFileName_ = name;
        } else if (kind == "PRM") {
            parameterFileName_ = name;
        } else if (kind == "INI") {
            projectInfoFileName_ = name;
        }
    }
    if (projectInfoFileName_.empty()) {
        reportBadPackage("missing project information (.INI file)");
        return false;
    }
    if (parameterFileName_.empty()) {
        reportBadPackage("missing parameter file (.PRM)");
        return false;
    }
    if (linkFileName_.empty()) {
        reportBadPackage("missing link file (.BIN)");
        return false;
    }
    lastRefusal_.clear();
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

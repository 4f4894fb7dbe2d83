#pragma once

#include "common/Prompter.h"
#include "common/StringTable.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace dlu {

class CFileEncryption;

// Package reader: turns a ".DWN" download package (an encrypted ZIP archive) into an unpack
// folder, finds the parameter, link and project information files in it and measures the
// project. The main dialog owns one and lends it to the download engine.
//
// The user's package file is only ever read. Each Open makes a private working folder
// (mkdtemp, mode 0700) under $XDG_RUNTIME_DIR when it is set and usable, else $TMPDIR, else
// /tmp; the package is copied there, decrypted and unpacked into it. Nothing is ever written
// beside the package: a decrypted copy left there by a killed run would be the customer's
// project in clear, and two opens of one package would share it. Close, the next Open and
// the destructor remove the folder; the users of the unpacked files remove each one as soon
// as they have read it. The folder's owner file holds this process's id under a lock that
// ends with the process: a folder left by a killed run is removed by the next Open of any of
// our programs, a live run's never.
class CFileControl {
public:
    // What one Unpack did, for callers that report it.
    struct UnpackReport {
        bool archiveOpened = false;
        std::size_t extracted = 0;
        std::size_t refused = 0; // unsafe names (leaving the unpack folder): skipped
        std::size_t damaged = 0; // entries that could not be extracted whole
        // Entries whose path differs from another file's only in case; folders that differ only
        // in case are one folder, spelled as first seen.
        std::size_t caseClashes = 0;
        bool overLimit = false; // a limit below was passed; unpacking stopped there
        // Why the package cannot be used, for the line under message 400: the first damaged
        // entry, the clash or the limit ("damaged entry Line1.PRM"). Empty when complete.
        std::string cause;
        // A package that lost an entry, or whose entries clash on a case-insensitive file
        // system, is not the project its author made.
        bool complete() const {
            return archiveOpened && damaged == 0 && caseClashes == 0 && !overLimit;
        }
    };

    // Bounds for any package, so that a hostile or damaged one cannot fill memory or disk.
    // A project is at most 3 required files, 128 ST programs of 5 files, the ST table and 4
    // global files (648 files and 2 folders); 4096 entries leave room for six times that.
    static constexpr std::size_t kMaxEntries = 4096;
    // Uncompressed size of any one entry: as declared and as actually inflated.
    static constexpr std::uint64_t kMaxEntryBytes = std::uint64_t{64} << 20;
    // Uncompressed size of all entries together.
    static constexpr std::uint64_t kMaxUnpackedBytes = std::uint64_t{256} << 20;
    // The package file itself: a legal package, even stored without compression, holds its
    // entries plus their headers.
    static constexpr std::uint64_t kMaxPackageFileBytes =
        kMaxUnpackedBytes + (std::uint64_t{16} << 20);

    // The limits in force; tests use smaller ones to reach them with small packages.
    struct Limits {
        std::size_t entries = kMaxEntries;
        std::uint64_t entryBytes = kMaxEntryBytes;
        std::uint64_t unpackedBytes = kMaxUnpackedBytes;
        std::uint64_t packageFileBytes = kMaxPackageFileBytes;
    };

    CFileControl(Prompter& prompter, const Messages& messages);
    ~CFileControl();
    CFileControl(const CFileControl&) = delete;
    CFileControl& operator=(const CFileControl&) = delete;

    // The opening steps: private working folder, copy of the package, decryption of the
    // copy with the current scheme, Unpack, Scan. False (after message 400) when the package
    // cannot be used; everything made on the way is then already removed. After true, the
    // caller uses the unpack folder and calls Close.
    bool Open(const std::string& packagePath, CFileEncryption& encryption);
    // Deletes the working folder with the unpack folder. Safe to call more than once.
    void Close();

    // Stores the package path and file name and extracts every entry of the archive into an
    // empty unpack folder in the working folder (the archive is the decrypted copy made by
    // Open; called on its own, the package file itself, which must then be a plain archive,
    // read only). Stops at the first entry that passes a limit.
    void Unpack(const std::string& packagePath, const std::string& packageFileName);

    // Finds the three required files at the top level of the unpack folder and recomputes
    // the project size. False after showing message 400 when one is missing, or when the
    // last Unpack could not extract every entry or found two files whose names differ only in
    // case.
    bool Scan();

    // Deletes a folder with everything below it; an empty path means the unpack folder.
    void DeleteFolder(const std::string& folder = {});

    std::uint32_t ProjectSize() const { return projectSize_; }
    const std::string& PackagePath() const { return packagePath_; }
    const std::string& PackageFileName() const { return packageFileName_; }
    // Ends with '/'.
    const std::string& UnpackFolder() const { return unpackFolder_; }
    // The "ST" and "Global" folders of the unpack folder, in whatever letter case the package
    // spells them first (the programming tool ran on a case-insensitive file system, so all
    // spellings of a folder unpack into the first one). End with '/'.
    std::string StFolder() const { return subFolder("ST"); }
    std::string GlobalFolder() const { return subFolder("Global"); }
    const std::string& LinkFileName() const { return linkFileName_; }
    const std::string& ParameterFileName() const { return parameterFileName_; }
    const std::string& ProjectInfoFileName() const { return projectInfoFileName_; }
    const UnpackReport& LastUnpack() const { return lastUnpack_; }
    // The cause line of the last refusal (under message 400); empty after a good Open.
    const std::string& LastRefusal() const { return lastRefusal_; }
    void setLimits(const Limits& limits) { limits_ = limits; }

private:
    void reportBadPackage(std::string cause);
    // The first problem of an unpack is the cause it reports.
    void noteProblem(std::string cause);
    // Extracts the current entry of `zip` (an unzFile), `declaredSize` bytes by its header, to
    // `target` within the limits; false when the unpack must stop (a limit was reached).
    bool extractEntry(void* zip, std::uint64_t declaredSize, const std::filesystem::path& target,
                      const std::string& entry, std::uint64_t& unpacked);
    bool makePrivateFolder();
    std::string subFolder(std::string_view name) const;

    Prompter& prompter_;
    const Messages& messages_;
    std::uint32_t projectSize_ = 0;
    std::string packagePath_;
    std::string packageFileName_;
    std::string archivePath_;
    std::string privateFolder_; // this open's working folder; ends with '/'
    bool openedCopy_ = false;   // archivePath_ is our decrypted copy in the working folder
    int lock_ = -1;             // the working folder's owner file, locked while it lives
    std::string unpackFolder_;
    std::string linkFileName_;
    std::string parameterFileName_;
    std::string projectInfoFileName_;
    UnpackReport lastUnpack_;
    std::string lastRefusal_;
    Limits limits_;
};

} // namespace dlu

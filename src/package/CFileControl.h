#pragma once

#include "common/Prompter.h"
#include "common/StringTable.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dlu {

class CFileEncryption;

// Package reader: turns a ".DWN" download package (an encrypted ZIP archive) into an unpack
// folder, finds the parameter, link and project information files in it and measures the
// project. The main dialog owns one and lends it to the download engine.
//
// The user's package file is only ever read. Open copies it to the package backup copy
// (package path + "buff"), decrypts and unpacks the copy, and Close deletes the copy and the
// unpack folder; a run killed in between leaves the package as it was. When the package's
// folder cannot be written (read-only media), the copy and the unpack folder go to a
// private folder under the system's temporary folder instead.
class CFileControl {
public:
    // What one Unpack did, for callers that report it.
    struct UnpackReport {
        bool archiveOpened = false;
        std::size_t extracted = 0;
        std::size_t refused = 0;     // unsafe names (leaving the unpack folder): skipped
        std::size_t damaged = 0;     // entries that could not be extracted whole, limits reached
        std::size_t caseClashes = 0; // entries whose path differs from another's only in case
        // A package that lost an entry, or whose entries clash on a case-insensitive file
        // system, is not the project its author made.
        bool complete() const { return archiveOpened && damaged == 0 && caseClashes == 0; }
    };

    // Bounds against hostile archives.
    static constexpr std::size_t kMaxEntries = 65535;
    static constexpr std::uint64_t kMaxExtractedBytes = std::uint64_t{1} << 32;

    CFileControl(Prompter& prompter, const Messages& messages);
    ~CFileControl();
    CFileControl(const CFileControl&) = delete;
    CFileControl& operator=(const CFileControl&) = delete;

    // The opening steps: backup copy, decryption of the copy with the current scheme,
    // Unpack, Scan. False (after message 400) when the package cannot be used; everything
    // made on the way is then already removed. After true, the caller uses the unpack folder
    // and calls Close.
    bool Open(const std::string& packagePath, CFileEncryption& encryption);
    // Deletes the unpack folder and the backup copy. Safe to call more than once.
    void Close();

    // Stores the package path and file name, derives the unpack folder, empties a stale one
    // and extracts every entry of the archive (the backup copy made by Open; called on its
    // own, the package file itself, which must then be a plain archive, read only).
    void Unpack(const std::string& packagePath, const std::string& packageFileName);

    // Finds the three required files at the top level of the unpack folder and recomputes
    // the project size. False after showing message 400 when one is missing, or when the
    // last Unpack could not extract every entry or found names that differ only in case.
    bool Scan();

    // Deletes a folder with everything below it; an empty path means the unpack folder.
    void DeleteFolder(const std::string& folder = {});

    std::uint32_t ProjectSize() const { return projectSize_; }
    const std::string& PackagePath() const { return packagePath_; }
    const std::string& PackageFileName() const { return packageFileName_; }
    const std::string& ArchivePath() const { return archivePath_; }
    // Ends with '/'.
    const std::string& UnpackFolder() const { return unpackFolder_; }
    // The "ST" and "Global" folders of the unpack folder, in whatever letter case the package
    // spells them (the programming tool ran on a case-insensitive file system). End with '/'.
    std::string StFolder() const { return subFolder("ST"); }
    std::string GlobalFolder() const { return subFolder("Global"); }
    const std::string& LinkFileName() const { return linkFileName_; }
    const std::string& ParameterFileName() const { return parameterFileName_; }
    const std::string& ProjectInfoFileName() const { return projectInfoFileName_; }
    const UnpackReport& LastUnpack() const { return lastUnpack_; }

private:
    void reportBadPackage();
    std::string subFolder(std::string_view name) const;

    Prompter& prompter_;
    const Messages& messages_;
    std::uint32_t projectSize_ = 0;
    std::string packagePath_;
    std::string packageFileName_;
    std::string archivePath_;
    std::string workFolder_;    // where the copy and the unpack folder live; ends with '/'
    std::string privateFolder_; // our folder under the temporary folder, when one is in use
    bool openedCopy_ = false;   // archivePath_ is our backup copy, to delete on Close
    std::string unpackFolder_;
    std::string linkFileName_;
    std::string parameterFileName_;
    std::string projectInfoFileName_;
    UnpackReport lastUnpack_;
};

} // namespace dlu

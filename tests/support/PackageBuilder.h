#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace dlu::test {

using Bytes = std::vector<std::uint8_t>;

// Encryption of a package or of a project file, as the programming tool writes them.
enum class Scheme {
    None,        // plain
    Current,     // AES-128-CBC, key from SHA-512 of the current passphrase
    CurrentSha1, // the same cipher with the key derived from SHA-1 (platforms without SHA-2)
    Older,       // RC4, key from SHA-1 of the older passphrase
};

enum class ZipMethod { Stored, Deflated };

// Builds download packages for tests: the parameter, link and project information files, ST
// and global files, any extra entry, zipped stored or deflated and encrypted with either
// scheme. Written with its own OpenSSL and minizip calls, apart from the code under test.
class PackageBuilder {
public:
    struct Program {
        std::uint16_t pid = 0;
        std::string name;
        std::uint16_t kind = 1;
    };
    struct StProgram {
        std::uint8_t number = 0;
        std::string name;
    };

    PackageBuilder();

    PackageBuilder& project(std::string name, std::uint16_t cpuType);
    PackageBuilder& program(std::uint16_t pid, std::string name, std::uint16_t kind);
    // Stores this count instead of the number of programs given.
    PackageBuilder& storedProgramCount(std::uint16_t count);
    PackageBuilder& st(std::uint8_t number, std::string name);
    PackageBuilder& xpLink(bool xp);
    // Program bytes of the link file; one entry per used PBT slot (slot i gets programs[i]).
    PackageBuilder& linkPrograms(std::vector<Bytes> programs);
    PackageBuilder& parameterData(Bytes data);
    // Encrypts the parameter and link files inside the archive.
    PackageBuilder& innerScheme(Scheme scheme);
    PackageBuilder& method(ZipMethod method);
    PackageBuilder& packageScheme(Scheme scheme);
    // Base name of the PRM, BIN and INI entries (default: the project name).
    PackageBuilder& baseName(std::string name);
    // Extra archive entry, written as given.
    PackageBuilder& extra(std::string entryName, Bytes content);
    // Extra deflated entry of `size` zero bytes, streamed into the archive and never held
    // whole; its headers declare `declared` bytes when given (a lying header, as in a bomb).
    PackageBuilder& zeros(std::string entryName, std::uint64_t size,
                          std::optional<std::uint64_t> declared = std::nullopt);
    // Leaves out the required entry with this extension ("PRM", "BIN" or "INI").
    PackageBuilder& without(std::string extension);

    // The archive's entries, in order, as a ZIP tool would get them from a folder.
    std::vector<std::pair<std::string, Bytes>> entries() const;
    // The plain ZIP archive.
    Bytes archive() const;
    // The package file: the archive encrypted with the package scheme.
    Bytes package() const;
    // Writes package() to `path`.
    void write(const std::string& path) const;

    // File contents the builder makes, for tests that need them alone.
    Bytes parameterFile() const;
    Bytes linkFile() const;
    std::string projectInfoIni() const;
    Bytes projectInfoRecord() const;

    // Encryption as the programming tool does it (the product only decrypts).
    static Bytes encrypt(Scheme scheme, const Bytes& plain);
    struct ZeroEntry {
        std::string name;
        std::uint64_t size = 0;
        std::uint64_t declared = 0;
    };
    // Zips `entries` in order with minizip, then the entries of zeros.
    static Bytes zip(const std::vector<std::pair<std::string, Bytes>>& entries, ZipMethod method,
                     const std::vector<ZeroEntry>& zeros = {});

private:
    std::string name_ = "Line1";
    std::optional<std::string> baseName_;
    std::uint16_t cpu_ = 0;
    std::vector<Program> programs_;
    std::optional<std::uint16_t> storedCount_;
    std::vector<StProgram> st_;
    bool xp_ = true;
    std::vector<Bytes> linkPrograms_;
    Bytes parameterData_;
    Scheme inner_ = Scheme::None;
    ZipMethod method_ = ZipMethod::Deflated;
    Scheme package_ = Scheme::Current;
    std::vector<std::pair<std::string, Bytes>> extras_;
    std::vector<ZeroEntry> zeros_;
    std::vector<std::string> without_;
    std::size_t explicitPrograms_ = 0;
};

// Writes bytes to a file, creating or truncating it.
void writeFile(const std::string& path, const Bytes& data);
// Reads a whole file; empty when it cannot be read.
Bytes readFile(const std::string& path);
// The SHA-256 of a whole file in lower-case hex, as OpenSSL computes it.
std::string sha256HexOfFile(const std::string& path);

} // namespace dlu::test

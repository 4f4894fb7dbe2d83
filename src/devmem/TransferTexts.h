#pragma once

#include "devmem/DeviceMemoryTransfer.h"
#include "devmem/LinuxDeviceMemoryTransfer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dlu {

class Messages;

// Texts that the command line and the desktop program both show about device memory files
// and their transfers, made in one place so that both say the same.

// "1 byte", "146,217 bytes" ("146,217바이트" in Korean).
std::string byteCountText(std::uint64_t bytes, const Messages& messages);

// A ".PDM" longer than a device memory file: both sizes, and that only the first part is
// device memory.
std::string longPdmText(std::uint64_t fileBytes, const Messages& messages);

// Asked before a Linux device image restore replaces the PLC's whole image.
std::string imageReplaceQuestion(std::uint64_t fileBytes, const Messages& messages);

// What a read-back after a restore found, one line each: "Verified N words", or the first
// words that differ followed by how many differ.
struct VerifyReport {
    bool verified = false;
    std::vector<std::string> lines;
};
VerifyReport verifyReport(const DeviceMemoryTransfer::Verification& found,
                          const Messages& messages);
// The same for a device image read back and compared with the file, in words of two bytes.
VerifyReport verifyReport(const LinuxDeviceMemoryTransfer::Verification& found,
                          const Messages& messages);

// What the read-back of a Linux device image came to. FileUnreadable: the file could not be
// read again to compare (566); NotReadBack: the PLC's image did not arrive (550); Compared:
// the comparison's report. `report` holds the line to show in each case; it is verified only
// when every byte matched.
struct ImageVerifyOutcome {
    enum class Step { FileUnreadable, NotReadBack, Compared };
    Step step = Step::Compared;
    VerifyReport report;
};
ImageVerifyOutcome
imageVerifyOutcome(const std::optional<LinuxDeviceMemoryTransfer::Verification>& found,
                   const Messages& messages);

} // namespace dlu

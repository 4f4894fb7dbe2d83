#include "devmem/TransferTexts.h"

#include "common/MessageIds.h"
#include "common/ProgressText.h"
#include "common/StringTable.h"
#include "common/TextFormat.h"
#include "devmem/PdmImage.h"

namespace dlu {

namespace {

unsigned long long ull(std::uint64_t n) { return static_cast<unsigned long long>(n); }

} // namespace

// "146,217 bytes": sizes are read more easily in groups of three digits.
std::string byteCountText(std::uint64_t bytes, const Messages& messages) {
    if (messages.language() == Language::Korean) {
        return ProgressText::grouped(bytes) + "바이트";
    }
    return ProgressText::grouped(bytes) + (bytes == 1 ? " byte" : " bytes");
}

std::string longPdmText(std::uint64_t fileBytes, const Messages& messages) {
    const std::string full = byteCountText(PdmImage::kFileSize, messages);
    return formatText(messages(Msg::PdmTooLong), byteCountText(fileBytes, messages).c_str(),
                      full.c_str(), full.c_str());
}

std::string imageReplaceQuestion(std::uint64_t fileBytes, const Messages& messages) {
    return formatText(messages(Msg::AskReplaceImage), byteCountText(fileBytes, messages).c_str());
}

VerifyReport verifyReport(const DeviceMemoryTransfer::Verification& found,
                          const Messages& messages) {
    VerifyReport report;
    if (found.differing == 0) {
        report.verified = true;
        report.lines.push_back(formatText(messages(Msg::Verified), ull(found.words)));
        return report;
    }
    for (const auto& d : found.first) {
        report.lines.push_back(formatText(messages(Msg::WordVerifyDiffers), d.name.c_str(),
                                          unsigned{d.inPlc}, unsigned{d.inPlc}, unsigned{d.inImage},
                                          unsigned{d.inImage}));
    }
    report.lines.push_back(
        formatText(messages(Msg::VerifyFailed), ull(found.differing), ull(found.words)));
    return report;
}

VerifyReport verifyReport(const LinuxDeviceMemoryTransfer::Verification& found,
                          const Messages& messages) {
    VerifyReport report;
    if (!found.firstDifference) {
        report.verified = true;
        report.lines.push_back(
            formatText(messages(Msg::Verified), ull((found.expectedBytes + 1) / 2)));
        return report;
    }
    const std::size_t at = *found.firstDifference;
    if (at >= std::min(found.bytes, found.expectedBytes)) {
        report.lines.push_back(formatText(messages(Msg::ImageSizesDiffer),
                                          byteCountText(found.bytes, messages).c_str(),
                                          byteCountText(found.expectedBytes, messages).c_str()));
    } else {
        report.lines.push_back(formatText(messages(Msg::ImageWordDiffers), ull(at / 2), ull(at)));
    }
    return report;
}

ImageVerifyOutcome
imageVerifyOutcome(const std::optional<LinuxDeviceMemoryTransfer::Verification>& found,
                   const Messages& messages) {
    using Step = ImageVerifyOutcome::Step;
    if (!found) {
        // The file went away (or became unreadable) since it was sent.
        return {Step::FileUnreadable, {false, {std::string(messages(Msg::NoDeviceFile))}}};
    }
    if (!found->read) {
        return {Step::NotReadBack, {false, {std::string(messages(Msg::UploadError))}}};
    }
    return {Step::Compared, verifyReport(*found, messages)};
}

} // namespace dlu

#include "download/DownloadSequence.h"

#include "comm/CommSet.h"
#include "common/Clock.h"
#include "common/Prompter.h"
#include "common/StringTable.h"
#include "common/TerminalText.h"
#include "common/TextFormat.h"
#include "package/CFileControl.h"
#include "package/FileIo.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace fs = std::filesystem;

namespace dlu {

namespace {

// The ST program files of one ST table entry, in the order they are sent.
struct StFileKind {
    std::string_view extension;
    std::uint8_t kind;
};
constexpr std::array<StFileKind, 5> kStFileKinds{{
    {".STB", 'b'},
    {".STL", 'l'},
    {".STV", 'v'},
    {".STA", 'a'},
    {".STS", 's'},
}};

constexpr std::string_view kStTableFile = "StTable.STI";

// The global files after the ST table, in the order they are sent; the table comes last.
struct GlobalFile {
    std::string_view name;
    std::uint8_t kind;
};
constexpr std::array<GlobalFile, 4> kGlobalFiles{{
    {"GlobalVar.GLV", 'V'},
    {"GlobalVar.GLA", 'A'},
    {"GlobalVar.GLS", 'S'},
    {"GlobalVar.GLI", 't'},
}};

std::string numbered(std::string_view prefix, unsigned number) {
    char text[16];
    std::snprintf(text, sizeof text, "%03u", number);
    return std::string(prefix) + text;
}

std::uint64_t streamSize(std::ifstream& in) {
    in.seekg(0, std::ios::end);
    const auto end = in.tellg();
    in.seekg(0, std::ios::beg);
    return end < 0 ? 0 : static_cast<std::uint64_t>(end);
}

// An ST program name becomes part of a path: one that would leave the ST folder names no
// file of the package.
bool isPlainFileName(std::string_view name) {
    return name.find_first_of("/\\") == std::string_view::npos && name != "..";
}

} // namespace

DownloadSequence::DownloadSequence(const OnlineContext& context, COnlineModule& session,
                                   CFileControl& reader, DownloadJob job)
    : ctx_(context), session_(session), reader_(reader), job_(std::move(job)),
      encryption_(context.prompter, context.messages) {
    if (job_.packageFileName.empty()) {
        job_.packageFileName = fs::path(job_.packagePath).filename().string();
    }
}

DownloadSequence::~DownloadSequence() { cleanUp(); }

std::chrono::milliseconds DownloadSequence::txDelay(std::uint8_t index) {
    return kDelayUnit * std::min(index, kMaxDelayIndex);
}

bool DownloadSequence::prepare() {
    if (!prepared_) {
        prepared_ = true;
        prepareOk_ = prepareFiles();
        if (!prepareOk_) {
            cleanUp();
        }
    }
    return prepareOk_;
}

bool DownloadSequence::run() {
    if (started_) {
        return succeeded_;
    }
    started_ = true;
    delay_ = txDelay(ctx_.commSet.nTxDelay);
    bool ok = prepare();
    if (ok) {
        if (observer_ != nullptr) {
            observer_->planned(plan_, totalBytes_);
        }
        ok = sendParameter() && sendPbt() && sendPrograms() && sendExtraFiles();
    }
    cleanUp();
    if (observer_ != nullptr) {
        observer_->finished(ok);
    }
    if (!ok) {
        return false;
    }
    succeeded_ = true;
    ctx_.prompter.message(ctx_.messages(Msg::DownloadSucceeded));
    return true;
}

bool DownloadSequence::prepareFiles() {
    if (!reader_.Open(job_.packagePath, encryption_)) {
        fail(Failure::PackageUnusable);
        return false;
    }
    const std::string parameterPath = reader_.UnpackFolder() + reader_.ParameterFileName();
    const std::string linkPath = reader_.UnpackFolder() + reader_.LinkFileName();

    // Both files are prepared, so that both messages show when both are missing.
    const bool parameterOpen = prepareFile(parameterPath, parameterCopy_, parameter_);
    if (!parameterOpen) {
        ctx_.prompter.message(ctx_.messages(Msg::ParameterMissing));
    }
    const bool linkOpen = prepareFile(linkPath, linkCopy_, link_);
    if (!linkOpen) {
        ctx_.prompter.message(ctx_.messages(Msg::LinkMissing));
    }
    if (!parameterOpen || !linkOpen) {
        fail(Failure::FileMissing);
        return false;
    }

    const std::uint64_t parameterFileSize = streamSize(parameter_);
    if (parameterFileSize < kParameterHeaderSize) {
        // The file is there but cut inside its header: damaged, not missing. It is refused
        // with the parameter file's own message, as a PLC could not take it either.
        ctx_.prompter.message(ctx_.messages(Msg::ParameterTooLarge));
        fail(Failure::ParameterDamaged);
        return false;
    }
    parameterBytes_ = parameterFileSize - kParameterHeaderSize;
    if (parameterBytes_ > kMaxParameterData) {
        ctx_.prompter.message(ctx_.messages(Msg::ParameterTooLarge));
        fail(Failure::ParameterTooLarge);
        return false;
    }
    if (!measureLinkFile()) {
        ctx_.prompter.message(ctx_.messages(Msg::LinkMissing));
        fail(Failure::LinkFileDamaged);
        return false;
    }
    planItems();
    return failure_ == Failure::None;
}

bool DownloadSequence::prepareFile(const std::string& path, std::string& copy, std::ifstream& in) {
    // The decrypted buffer copy is used when it holds the header of the file's kind; a file
    // that is not its kind, even decrypted, is sent as it is: it may be one the tool wrote
    // plain under a header this program does not know. Checking the copy itself gives the
    // kind check's answer with one copy and one decryption instead of two.
    std::string work = path;
    copy = encryption_.MakeDecryptedCopy(path);
    if (copyIsOfKind(path, copy)) {
        work = copy;
    } else {
        encryption_.DeleteBufferFile(copy);
        copy.clear();
    }
    in.open(work, std::ios::binary);
    if (!in) {
        encryption_.DeleteBufferFile(copy);
        copy.clear();
        return false;
    }
    // Read through the open stream from here on: the decrypted files leave the disk now.
    encryption_.DeleteBufferFile(copy);
    copy.clear();
    fileio::removeFile(path);
    return true;
}

bool DownloadSequence::copyIsOfKind(const std::string& original, const std::string& copy) {
    const FileKindDescriptor kind = lookupFileKindB(pathExtension(original));
    if (kind.empty()) {
        return false;
    }
    std::array<std::uint8_t, kMaxHeaderSize> header{};
    const std::size_t size = std::min<std::size_t>(kind.headerSize, kMaxHeaderSize);
    // A file shorter than its header reads as zero bytes after its end, as the kind check does.
    std::ifstream in(copy, std::ios::binary);
    if (!in.is_open()) {
        return false;
    }
    in.read(reinterpret_cast<char*>(header.data()), static_cast<std::streamsize>(size));
    return HeaderMatches(std::span(header).first(size), kind);
}

bool DownloadSequence::measureLinkFile() {
    std::array<std::uint8_t, kPbtOffset> header{};
    const std::uint64_t size = streamSize(link_);
    link_.read(reinterpret_cast<char*>(header.data()), static_cast<std::streamsize>(header.size()));
    link_.read(reinterpret_cast<char*>(pbt_.data()), static_cast<std::streamsize>(pbt_.size()));
    if (!link_) {
        return false;
    }
    layout_ = chooseLinkLayout(header);
    std::uint64_t programs = 0;
    for (std::size_t i = 0; i < kPbtEntryCount; ++i) {
        const auto raw = std::span(pbt_).subspan(i * kPbtEntrySize).first<kPbtEntrySize>();
        entries_[i] = readPbtEntry(raw, layout_, job_.projectCpuType);
        programs += entries_[i].programBytes;
    }
    // The programs follow the PBT back to back; a file that ends early would send blocks the
    // PLC cannot tell from a program.
    return programs <= size - kLinkProgramsOffset;
}

void DownloadSequence::addItem(std::uint8_t kind, std::uint8_t id, std::uint64_t bytes,
                               std::string label) {
    // Block count and block index travel as 16-bit values: an item needing more blocks would
    // wrap them and the PLC would put its tail over its head.
    if (blockCount(bytes) > kMaxBlocks) {
        if (failure_ == Failure::None) {
            ctx_.prompter.message(
                formatText(ctx_.messages(Msg::ItemTooLarge), displaySafe(label).c_str()));
        }
        fail(Failure::ItemTooLarge);
        return;
    }
    plan_.push_back({kind, id, bytes, blockCount(bytes), std::move(label)});
    totalBytes_ += bytes;
}

void DownloadSequence::planExtraFile(std::uint8_t kind, std::uint8_t id, const std::string& folder,
                                     const std::string& name, std::string label) {
    // The package may spell a name in any letter case (the programming tool ran on a
    // case-insensitive file system); the package reader refuses names that clash.
    const auto found = fileio::findNoCase(folder, name);
    if (!found) {
        return; // a missing file is skipped
    }
    const std::string& path = *found;
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec) {
        unreadable(label);
        return;
    }
    // An empty file has no block to send; the PLC never sees it.
    if (size == 0) {
        return;
    }
    extraFiles_.push_back({plan_.size(), path});
    addItem(kind, id, size, std::move(label));
}

void DownloadSequence::planItems() {
    plan_.clear();
    extraFiles_.clear();
    totalBytes_ = 0;
    if (parameterBytes_ > 0) {
        addItem('P', 0, parameterBytes_, std::string(ctx_.messages(Msg::ParameterItem)));
    }
    for (std::size_t i = 0; i < kPbtEntryCount; ++i) {
        addItem('B', static_cast<std::uint8_t>(i), kPbtEntrySize,
                numbered("PBT ", static_cast<unsigned>(i)));
    }
    for (std::size_t i = 0; i < kPbtEntryCount; ++i) {
        if (entries_[i].used && entries_[i].programBytes > 0) {
            addItem('C', static_cast<std::uint8_t>(i), entries_[i].programBytes,
                    formatText(ctx_.messages(Msg::ProgramItem), static_cast<unsigned>(i)));
        }
    }
    if (!CpuTypeTable::hasStPrograms(job_.projectCpuType)) {
        return;
    }
    const std::string stFolder = reader_.StFolder();
    for (std::size_t n = 0; n < StProgramTable::kEntryCount; ++n) {
        const ProgramEntry& entry = job_.stTable.entry(n);
        const std::string name(entry.nameText());
        if (entry.presence == 0 || !isPlainFileName(name)) {
            continue;
        }
        for (const StFileKind& k : kStFileKinds) {
            const std::string file = name + std::string(k.extension);
            planExtraFile(k.kind, static_cast<std::uint8_t>(n), stFolder, file,
                          numbered("ST", static_cast<unsigned>(n)) + " " + file);
        }
    }
    planExtraFile('T', 0, stFolder, std::string(kStTableFile), std::string(kStTableFile));
    const std::string globalFolder = reader_.GlobalFolder();
    for (const GlobalFile& g : kGlobalFiles) {
        planExtraFile(g.kind, 0, globalFolder, std::string(g.name), std::string(g.name));
    }
}

void DownloadSequence::unreadable(std::string_view label) {
    // A file measured a moment ago that can no longer be read: the download stops, and says
    // why, rather than send the PLC less than the project.
    if (failure_ == Failure::None) {
        ctx_.prompter.message(
            formatText(ctx_.messages(Msg::FileUnreadable), displaySafe(label).c_str()));
    }
    fail(Failure::FileUnreadable);
}

void DownloadSequence::stepDelay() {
    if (delay_.count() > 0) {
        ctx_.clock.sleep(delay_);
    }
}

bool DownloadSequence::sendBlock(const DownloadItemPlan& item, std::uint32_t index,
                                 std::span<const std::uint8_t> data) {
    // The PBT carries neither value; the protocol leaves them out of its frame.
    const bool pbt = item.kind == 'B';
    const auto count = static_cast<std::uint16_t>(pbt ? 0 : item.blocks);
    const auto value2 = static_cast<std::uint16_t>(pbt ? 0 : index);
    if (observer_ != nullptr && observer_->cancelled()) {
        fail(Failure::Cancelled);
        return false;
    }
    if (!session_.downloadBlock(item.kind, item.id, count, value2, data)) {
        const std::string step = formatText("sending %s, block %u of %u",
                                            displaySafe(item.label).c_str(), index + 1,
                                            std::max<std::uint32_t>(item.blocks, 1));
        session_.errorReport(ErrorReport::Variant::Download, {}, step);
        fail(Failure::RequestFailed);
        return false;
    }
    bytesSent_ += data.size();
    if (observer_ != nullptr) {
        observer_->blockSent({&item, current_, plan_.size(), index, bytesSent_, totalBytes_});
    }
    return true;
}

bool DownloadSequence::sendItem(std::ifstream& in, bool delayEveryBlock) {
    const DownloadItemPlan& item = plan_.at(current_);
    if (observer_ != nullptr) {
        observer_->itemStarted(item, current_);
    }
    std::uint64_t left = item.bytes;
    for (std::uint32_t b = 0; b < item.blocks; ++b) {
        if (delayEveryBlock) {
            stepDelay();
        }
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left, kBlockSize));
        in.read(reinterpret_cast<char*>(block_.data()), static_cast<std::streamsize>(n));
        if (static_cast<std::size_t>(in.gcount()) != n) {
            unreadable(item.label);
            return false;
        }
        if (!sendBlock(item, b, std::span(block_).first(n))) {
            return false;
        }
        left -= n;
    }
    ++current_;
    return true;
}

bool DownloadSequence::sendParameter() {
    if (parameterBytes_ == 0) {
        return true;
    }
    parameter_.seekg(static_cast<std::streamoff>(kParameterHeaderSize));
    return sendItem(parameter_, true);
}

bool DownloadSequence::sendPbt() {
    const bool xp = layout_ == LinkLayout::Xp;
    for (std::size_t i = 0; i < kPbtEntryCount; ++i) {
        if (xp) {
            stepDelay();
        }
        const DownloadItemPlan& item = plan_.at(current_);
        if (observer_ != nullptr) {
            observer_->itemStarted(item, current_);
        }
        if (!sendBlock(item, 0, std::span(pbt_).subspan(i * kPbtEntrySize, kPbtEntrySize))) {
            return false;
        }
        ++current_;
    }
    return true;
}

bool DownloadSequence::sendPrograms() {
    const bool xp = layout_ == LinkLayout::Xp;
    link_.seekg(static_cast<std::streamoff>(kLinkProgramsOffset));
    for (std::size_t i = 0; i < kPbtEntryCount; ++i) {
        // The XP layout waits for every entry, also for one that is then skipped.
        if (xp) {
            stepDelay();
        }
        if (!entries_[i].used || entries_[i].programBytes == 0) {
            continue;
        }
        if (!sendItem(link_, false)) {
            return false;
        }
    }
    return true;
}

bool DownloadSequence::sendExtraFiles() {
    for (const ExtraFile& file : extraFiles_) {
        std::ifstream in(file.path, std::ios::binary);
        if (!in) {
            unreadable(plan_.at(file.planIndex).label);
            return false;
        }
        // Sent from the open stream: the file leaves the disk before its blocks go out.
        fileio::removeFile(file.path);
        current_ = file.planIndex;
        if (!sendItem(in, false)) {
            return false;
        }
    }
    return true;
}

void DownloadSequence::cleanUp() {
    parameter_.close();
    link_.close();
    encryption_.DeleteBufferFile(parameterCopy_);
    encryption_.DeleteBufferFile(linkCopy_);
    parameterCopy_.clear();
    linkCopy_.clear();
    if (started_) {
        reader_.Close();
    }
}

} // namespace dlu

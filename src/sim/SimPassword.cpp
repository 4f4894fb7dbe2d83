#include "sim/SimPassword.h"

#include "comm/CProtocol.h"
#include "common/Crypto.h"
#include "sim/SimMemory.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>

namespace dlu::sim {

namespace {

constexpr std::size_t kPasswordWords = 8;

// Password request kinds of 'w'.
constexpr std::uint8_t kAskLocked = 0;
constexpr std::uint8_t kLogIn = 1;
constexpr std::uint8_t kLogInAndStore = 2;

// The block a PLC of `form` holds for `password`. The encrypted forms need the library's RC4;
// a simulator that cannot build its own password is a set-up fault, not a PLC state.
PasswordBlock passwordBlockFor(PasswordForm form, const std::string& password) {
    if (password.empty()) {
        return {};
    }
    if (form == PasswordForm::ExchangePlain) {
        return PasswordCipher::plain(password);
    }
    if (form == PasswordForm::StoredPlain) {
        // The password bytes themselves from byte 0, zero up to byte 14, then the checksum.
        PasswordBlock block{};
        const auto text = std::string_view(password).substr(0, PasswordCipher::kMaxLength);
        std::copy(text.begin(), text.end(), block.begin());
        block[15] = PasswordCipher::checksum(block);
        return block;
    }
    const auto crypto = Crypto::open();
    const PasswordCipher cipher(crypto.get());
    const auto block =
        form == PasswordForm::ExchangeOld ? cipher.encryptOld(password) : cipher.encrypt(password);
    if (!block) {
        throw std::runtime_error("the simulator cannot encrypt its password (no RC4 available)");
    }
    return *block;
}

} // namespace

bool isStoredForm(PasswordForm form) {
    return form == PasswordForm::Stored || form == PasswordForm::StoredPlain;
}

SimPassword::SimPassword(PasswordForm form, const std::string& password, SimMemory& memory)
    : form_(form), memory_(memory) {
    const PasswordBlock block = passwordBlockFor(form, password);
    if (!isStoredForm(form)) {
        held_ = block;
        return;
    }
    if (const auto a = memory_.address("W0000"); a != 0) {
        for (std::size_t i = 0; i < kPasswordWords; ++i) {
            memory_.setWord(a + static_cast<std::uint32_t>(2 * i),
                            static_cast<std::uint16_t>(block[2 * i] | (block[2 * i + 1] << 8)));
        }
    }
}

void SimPassword::onLogin(const SimRequest& request, SimReply& reply) {
    if (isStoredForm(form_)) {
        // A CPU with its password in "W0000" predates the exchange.
        reply.fail(plc_error::kUnknownCommand);
        return;
    }
    const auto d = request.data;
    PasswordBlock block{};
    PasswordBlock newBlock{};
    std::copy_n(d.begin() + 2, block.size(), block.begin());
    std::copy_n(d.begin() + 18, newBlock.size(), newBlock.begin());
    switch (d[0]) {
    case kAskLocked:
        reply.put8(locked() ? 1 : 0);
        return;
    case kLogIn:
    case kLogInAndStore: {
        // An unlocked PLC lets anyone in; a locked one only the block it holds.
        const bool accepted = !locked() || block == held_;
        if (accepted) {
            ++logins_;
            if (d[0] == kLogInAndStore) {
                held_ = newBlock;
                ++stores_;
            }
        }
        reply.put8(accepted ? 1 : 0);
        return;
    }
    default:
        reply.fail(plc_error::kInvalidValue);
        return;
    }
}

PasswordBlock SimPassword::heldBlock() const {
    if (!isStoredForm(form_)) {
        return held_;
    }
    PasswordBlock block{};
    const auto a = memory_.address("W0000");
    if (a == 0) {
        return block;
    }
    for (std::size_t i = 0; i < kPasswordWords; ++i) {
        const std::uint16_t word = memory_.wordAt(a + static_cast<std::uint32_t>(2 * i));
        block[2 * i] = static_cast<std::uint8_t>(word & 0xFF);
        block[2 * i + 1] = static_cast<std::uint8_t>(word >> 8);
    }
    return block;
}

bool SimPassword::locked() const {
    const PasswordBlock block = heldBlock();
    return isStoredForm(form_) ? PasswordCipher::hasStoredPassword(block) : block[0] != 0;
}

bool SimPassword::tokenAccepted(std::span<const std::uint8_t> token) const {
    if (isStoredForm(form_) || !locked()) {
        return true;
    }
    return token.size() == CProtocol::kPasswordTokenSize &&
           std::equal(held_.begin(), held_.end(), token.begin());
}

} // namespace dlu::sim

#pragma once

#include "comm/PasswordCipher.h"
#include "sim/SimRequest.h"

#include <cstdint>
#include <span>
#include <string>

namespace dlu::sim {

class SimMemory;

// How a locked PLC keeps its connection password, and so how the program logs in to it.
//   Exchange       'w' login; the PLC holds the block in the current encrypted form.
//   ExchangeOld    'w' login; the PLC holds the older RC4 form. The program logs in with that
//                  and stores the current form with request kind 2, which the PLC then holds.
//   ExchangePlain  the same with the password bytes in plain.
//   Stored         an older CPU: the encrypted block sits in "W0000" (8 words, each word low
//                  byte first) and the program compares it itself; such a CPU knows no 'w'.
//   StoredPlain    the same with the password bytes themselves in "W0000".
// Which scheme the program uses follows from the identity and the firmware version (see
// PlcIdentities::usesStoredCheck), so the form has to agree with them.
enum class PasswordForm { Exchange, ExchangeOld, ExchangePlain, Stored, StoredPlain };

bool isStoredForm(PasswordForm form);

// The PLC's connection password: the block it holds, the 'w' login and the token check.
class SimPassword {
public:
    static constexpr std::size_t kRequestSize = 34; // 'w' data after the station header

    // Locks the PLC with `password` (empty: not locked) in `form`; the stored forms put the
    // block into "W0000" of `memory`, which must outlive this object. Throws when the block
    // cannot be made (no RC4 in the crypto library): a set-up fault, not a PLC state.
    SimPassword(PasswordForm form, const std::string& password, SimMemory& memory);

    // 'w' with its kRequestSize bytes: ask whether locked, log in, log in and store a new block.
    void onLogin(const SimRequest& request, SimReply& reply);

    // For the exchange forms the block logins are checked against (it changes when a kind-2
    // login stores a new one); for the stored forms the 16 bytes of "W0000". Byte 0 = 0: the
    // PLC is not locked.
    PasswordBlock heldBlock() const;
    bool locked() const;
    // Whether a request may read the PLC's memory: a PLC locked by the exchange wants the
    // login's token (the held block) on it.
    bool tokenAccepted(std::span<const std::uint8_t> token) const;

    PasswordForm form() const { return form_; }
    std::uint64_t loginCount() const { return logins_; }
    std::uint64_t storeCount() const { return stores_; }

private:
    PasswordForm form_;
    SimMemory& memory_;
    PasswordBlock held_{}; // the exchange forms' block (the stored forms keep theirs in memory)
    std::uint64_t logins_ = 0;
    std::uint64_t stores_ = 0;
};

} // namespace dlu::sim

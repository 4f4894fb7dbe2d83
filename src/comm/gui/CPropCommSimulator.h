#pragma once

#include "comm/gui/NetworkPage.h"

namespace dlu {

class CommSet;

// The simulator setup page: the simulator runs on this computer at its fixed port, so only
// the time-out and retry count can be edited. A stored domain name is kept and shown;
// otherwise the address is 127.0.0.1. The station number is never sent.
class CPropCommSimulator : public NetworkPage {
    Q_OBJECT
public:
    static constexpr std::uint16_t kPort = 10523;
    static constexpr std::uint32_t kLoopback = 0x7F000001; // 127.0.0.1

    explicit CPropCommSimulator(const Messages& messages, QWidget* parent = nullptr);

    void load(const CommSet& record);
    void store(CommSet& record) const;
};

} // namespace dlu

#pragma once

#include "comm/gui/NetworkPage.h"

namespace dlu {

class CommSet;

// The Ethernet setup page, also used for USB with only the time-out and retry count shown.
// The Ethernet station number is never sent: its controls stay hidden and the station flag is
// cleared on loading and on storing.
class CPropCommEther : public NetworkPage {
    Q_OBJECT
public:
    enum class Kind { Ethernet, Usb };

    static constexpr std::uint16_t kDefaultPort = 10266;

    CPropCommEther(Kind kind, const Messages& messages, QWidget* parent = nullptr);

    Kind kind() const { return kind_; }

    void load(const CommSet& record);
    void store(CommSet& record) const;

private:
    Kind kind_;
};

} // namespace dlu

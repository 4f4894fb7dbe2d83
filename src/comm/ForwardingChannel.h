#pragma once

#include "comm/ChannelFactory.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>

namespace dlu {

// A device channel that hands every operation of the channel port to a link it holds (a
// serial line, the in-process simulator, ...): the channel class itself says only how it
// opens. `Link` has the channel port's operations by the same names.
template <typename Link> class ForwardingChannel : public DeviceChannel {
public:
    void setTimeout(std::chrono::milliseconds timeout) override { link_.setTimeout(timeout); }
    bool write(std::span<const std::uint8_t> bytes) override { return link_.write(bytes); }
    ChannelRead read() override { return link_.read(); }
    ChannelRead readWithin(std::chrono::milliseconds limit) override {
        return link_.readWithin(limit);
    }
    std::size_t readSome(std::span<std::uint8_t> out, std::chrono::milliseconds limit,
                         std::uint8_t& status) override {
        return link_.readSome(out, limit, status);
    }
    std::chrono::milliseconds timeout() const override { return link_.timeout(); }
    std::chrono::microseconds byteTime() const override { return link_.byteTime(); }
    void close() override { link_.close(); }
    std::string failureCause() const override { return link_.failureCause(); }

protected:
    template <typename... Args>
    explicit ForwardingChannel(Args&&... args) : link_(std::forward<Args>(args)...) {}

    Link link_;
};

} // namespace dlu

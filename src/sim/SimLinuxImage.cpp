#include "sim/SimLinuxImage.h"

#include "comm/CProtocol.h"
#include "sim/SimMemory.h"
#include "sim/SimPassword.h"

#include <algorithm>

namespace dlu::sim {

std::vector<std::uint8_t> SimLinuxImage::pattern(std::size_t size, std::uint32_t seed) {
    std::vector<std::uint8_t> bytes(size);
    SimPattern pattern(seed);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(pattern.next() >> 24);
    }
    return bytes;
}

void SimLinuxImage::onUpload(const SimRequest& request, SimReply& reply,
                             const SimPassword& password) {
    const auto d = request.data;
    const std::size_t fixed = request.stationHeader ? 4 : 2;
    if (d.size() != fixed && d.size() != fixed + CProtocol::kPasswordTokenSize) {
        reply.fail(plc_error::kDataSize);
        return;
    }
    if (d[0] != 'X') {
        reply.fail(plc_error::kInvalidValue);
        return;
    }
    if (bytes_.empty()) {
        reply.fail(plc_error::kNotSupported);
        return;
    }
    // A PLC locked by the exchange hands its memory out only against the token of a login.
    if (!password.tokenAccepted(d.subspan(fixed))) {
        reply.fail(plc_error::kInvalidValue);
        return;
    }
    if (!request.stationHeader) {
        // Without the header the request names no block: the PLC sends the whole image, block
        // after block, and the program only reads.
        putBlock(0, reply);
        stream_ = blockCount() > 1;
        return;
    }
    const std::size_t number = be16(d, 2);
    if (number >= blockCount()) {
        reply.fail(plc_error::kInvalidValue);
        return;
    }
    putBlock(number, reply);
}

void SimLinuxImage::putBlock(std::size_t number, SimReply& reply) const {
    const std::size_t from = number * kBlockData;
    const std::size_t length = std::min(kBlockData, bytes_.size() - from);
    reply.put16(0); // not used
    reply.put16(static_cast<std::uint16_t>(blockCount()));
    reply.put16(static_cast<std::uint16_t>(number));
    reply.put16(static_cast<std::uint16_t>(length));
    for (std::size_t i = 0; i < length; ++i) {
        reply.put8(bytes_[from + i]);
    }
}

} // namespace dlu::sim

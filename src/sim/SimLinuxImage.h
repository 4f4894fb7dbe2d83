#pragma once

#include "sim/SimRequest.h"

#include <cstdint>
#include <vector>

namespace dlu::sim {

class SimPassword;

// The device image of the Linux CPU family: handed out by 'U' kind 'X' in blocks of kBlockData
// bytes behind an 8-byte header (offset 2 total blocks, 4 block number, 6 data length,
// big-endian), and replaced by a complete 'D' kind 'X' restore. A request with the station
// header names its block; one without it names none, and the PLC then sends every block in
// turn while the program only reads. A PLC locked by the exchange wants the login's token on
// the request. An empty image: the PLC has none and refuses 'U'.
class SimLinuxImage {
public:
    static constexpr std::size_t kBlockData = 200;
    static constexpr std::size_t kHeaderSize = 8;
    // The header counts blocks in 16 bits.
    static constexpr std::size_t kMaxSize = 0xFFFF * kBlockData;

    // The pattern of an image of `size` bytes from `seed`.
    static std::vector<std::uint8_t> pattern(std::size_t size, std::uint32_t seed);

    SimLinuxImage(std::size_t size, std::uint32_t seed) : bytes_(pattern(size, seed)) {}

    // 'U': the block asked for, or with a request without the station header the first block,
    // the others then to follow (see takeStream()).
    void onUpload(const SimRequest& request, SimReply& reply, const SimPassword& password);
    // Whether the blocks after the first are to follow the answer just sent; asks only once.
    bool takeStream() {
        const bool stream = stream_;
        stream_ = false;
        return stream;
    }
    void putBlock(std::size_t number, SimReply& reply) const;

    // A complete restore replaces the image as a whole.
    void restore(std::vector<std::uint8_t> bytes) {
        bytes_ = std::move(bytes);
        ++restores_;
    }
    void set(std::vector<std::uint8_t> bytes) { bytes_ = std::move(bytes); }
    void connectionOpened() { stream_ = false; }

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    std::size_t blockCount() const { return (bytes_.size() + kBlockData - 1) / kBlockData; }
    std::uint64_t restoreCount() const { return restores_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::uint64_t restores_ = 0;
    bool stream_ = false; // a 'U' without the station header: every block follows
};

} // namespace dlu::sim

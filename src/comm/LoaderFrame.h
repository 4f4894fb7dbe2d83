#pragma once

#include <cstddef>
#include <cstdint>

namespace dlu {

// Constants of a loader frame, shared by the program's side (CProtocol) and the PLC side
// (the simulator).
//
//   05 64 | command | length (2, high first) | [station, sequence, 00] | data | check (2)
//
// The length counts the station header when it is there and never the check code; the check
// code (Crc16Dnp) runs from the command byte to the last data byte.
namespace frame {

constexpr std::uint8_t kHead1 = 0x05;
constexpr std::uint8_t kHead2 = 0x64;
constexpr std::uint8_t kErrorCommand = 0x45; // 'E': the PLC reports an error code

constexpr std::size_t kPrefixSize = 5;        // head bytes, command, length
constexpr std::size_t kStationHeaderSize = 3; // station, sequence, reserved 0
constexpr std::size_t kCheckSize = 2;

constexpr std::size_t kRequestBufferSize = 512;
constexpr std::size_t kResponseDataSize = 256;
// A receive gives up once this many bytes have been read without a complete frame.
constexpr std::size_t kMaxReceiveBytes = 256;

// Commands of the loader protocol.
enum Command : std::uint8_t {
    kTest = 0x74,          // 't'
    kMode = 0x4D,          // 'M'
    kBeginDownload = 0x83, //
    kRead = 0x52,          // 'R'
    kWrite = 0x57,         // 'W'
    kDownload = 0x44,      // 'D'
    kPassword = 0x77,      // 'w'
    kUpload = 0x55,        // 'U'
};

} // namespace frame

// Last error codes the program's side of the protocol sets by itself; 1 to 26 come from the
// PLC, 0x81 to 0x85 from the channel (see Channel.h). 0x86 to 0x89 are faults of a received
// frame; 0x8A to 0x8C are requests refused before anything was sent, which are neither the
// PLC's errors nor the port's.
enum ProtocolError : std::uint8_t {
    kErrorNone = 0x00,
    // A frame that does not fit: more than 256 bytes without a complete frame, an answer
    // without what the request asked for, or one larger than the caller's buffer.
    kErrorFrameDoesNotFit = 0x86,
    kErrorStationMismatch = 0x87,  // response from another station
    kErrorSequenceMismatch = 0x88, // response to another request
    kErrorCheckCode = 0x89,        // the response's check code does not match its bytes
    kErrorRequestRefused = 0x8A,   // the request breaks a limit of the frame: not sent
    kErrorNoAttempts = 0x8B,       // the attempt count is 0: not sent
    kErrorNoAddress = 0x8C,        // a device name with no address for the CPU type: not sent
};

} // namespace dlu

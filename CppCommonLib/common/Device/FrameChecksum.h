#pragma once

#include <cstddef>
#include <cstdint>

// The card's one-byte frame checksum over `length` bytes (the caller passes the frame length
// minus one; the checksum goes in the last byte).
uint8_t FrameChecksum(const uint8_t* bytes, size_t length);

// Line speeds through Linux's termios2 calls, which take any speed in bits per
// second (14400, 28800 and 33600 have no B constant). Kept in a file of their
// own because the kernel's termios header conflicts with the C library's.
#pragma once

#include <cstdint>

namespace halvorn {

// TCGETS2, BOTHER with speed in both directions, TCSETS2, and TCGETS2 again:
// EINVAL when the driver holds another speed instead, or is a PC UART whose
// divisor cannot come near the speed; errno on failure.
bool SetTermios2Speed(int fd, uint32_t speed);
// TCGETS2: the speeds the driver holds; errno on failure.
bool GetTermios2Speeds(int fd, uint32_t& inputSpeed, uint32_t& outputSpeed);

// A line's whole termios2 record, speeds in bits per second included, kept
// to be put back as it was.
struct SavedLineSettings {
  alignas(8) unsigned char record[64] = {};
};
// TCGETS2 into saved; errno on failure.
bool SaveLineSettings(int fd, SavedLineSettings& saved);
// TCSETS2 from saved; errno on failure.
bool RestoreLineSettings(int fd, const SavedLineSettings& saved);

}  // namespace halvorn

// The seam to the platform's serial calls. Each operation stands for one
// kernel32 call and keeps its contract: false (or kInvalidCommHandle, or 0)
// means failure, and GetLastError then gives the reason. The Windows backend
// calls kernel32 directly; the POSIX backend does the same on termios.
#pragma once

#include <cstdint>
#include <string>

namespace halvorn {

// A handle as kernel32 hands it out; INVALID_HANDLE_VALUE is all bits set.
using CommHandle = uintptr_t;
constexpr CommHandle kInvalidCommHandle = ~static_cast<CommHandle>(0);
constexpr CommHandle kNullCommHandle = 0;

// Values of the DCB fields this tool sets.
constexpr uint8_t kDtrControlDisable = 0;
constexpr uint8_t kDtrControlEnable = 1;
constexpr uint8_t kDtrControlHandshake = 2;
constexpr uint8_t kRtsControlHandshake = 2;
constexpr uint8_t kNoParity = 0;
constexpr uint8_t kOddParity = 1;
constexpr uint8_t kEvenParity = 2;
constexpr uint8_t kOneStopBit = 0;
constexpr uint8_t kTwoStopBits = 2;
constexpr uint32_t kDcbLength = 28;  // sizeof(DCB) on 32-bit Windows

constexpr uint32_t kPurgeTxClear = 0x0004;
constexpr uint32_t kPurgeRxClear = 0x0008;
constexpr uint32_t kMaxDword = 0xFFFFFFFF;

// The port settings record, field for field as the Windows DCB names them
// (bit fields held as whole members, the reserved ones carried through).
struct Dcb {
  uint32_t DCBlength = 0;
  uint32_t BaudRate = 0;
  uint8_t fBinary = 0;
  uint8_t fParity = 0;
  uint8_t fOutxCtsFlow = 0;
  uint8_t fOutxDsrFlow = 0;
  uint8_t fDtrControl = 0;
  uint8_t fDsrSensitivity = 0;
  uint8_t fTXContinueOnXoff = 0;
  uint8_t fOutX = 0;
  uint8_t fInX = 0;
  uint8_t fErrorChar = 0;
  uint8_t fNull = 0;
  uint8_t fRtsControl = 0;
  uint8_t fAbortOnError = 0;
  uint32_t fDummy2 = 0;
  uint16_t wReserved = 0;
  uint16_t XonLim = 0;
  uint16_t XoffLim = 0;
  uint8_t ByteSize = 0;
  uint8_t Parity = 0;
  uint8_t StopBits = 0;
  char XonChar = 0;
  char XoffChar = 0;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;
  uint16_t wReserved1 = 0;

  friend bool operator==(const Dcb&, const Dcb&) = default;
};

// COMMTIMEOUTS, in milliseconds.
struct CommTimeouts {
  uint32_t ReadIntervalTimeout = 0;
  uint32_t ReadTotalTimeoutMultiplier = 0;
  uint32_t ReadTotalTimeoutConstant = 0;
  uint32_t WriteTotalTimeoutMultiplier = 0;
  uint32_t WriteTotalTimeoutConstant = 0;

  friend bool operator==(const CommTimeouts&, const CommTimeouts&) = default;
};

// The counts of COMSTAT that the tool reads.
struct ComStat {
  uint32_t cbInQue = 0;
  uint32_t cbOutQue = 0;
};

class CommApi {
 public:
  virtual ~CommApi() = default;

  // CreateFileW(path, GENERIC_READ | GENERIC_WRITE, no sharing, OPEN_EXISTING,
  // no overlapped I/O): kInvalidCommHandle on failure.
  virtual CommHandle OpenComm(const char16_t* path) = 0;
  // CreateEventW: unnamed, manual reset, not signalled; kNullCommHandle on failure.
  virtual CommHandle CreateManualResetEvent() = 0;
  virtual bool GetCommState(CommHandle comm, Dcb& dcb) = 0;
  virtual bool SetCommState(CommHandle comm, const Dcb& dcb) = 0;
  virtual bool SetupComm(CommHandle comm, uint32_t inQueue, uint32_t outQueue) = 0;
  virtual bool SetCommTimeouts(CommHandle comm, const CommTimeouts& timeouts) = 0;
  // WriteFile: blocks until written or the write timeout ran out; on a timeout
  // it succeeds with written < length, as kernel32 does.
  virtual bool WriteComm(CommHandle comm, const void* data, uint32_t length,
                         uint32_t& written) = 0;
  virtual bool ClearCommError(CommHandle comm, uint32_t& errors, ComStat& status) = 0;
  // ReadFile; with ReadIntervalTimeout MAXDWORD and no totals it returns at once.
  virtual bool ReadComm(CommHandle comm, void* buffer, uint32_t capacity, uint32_t& read) = 0;
  virtual bool PurgeComm(CommHandle comm, uint32_t flags) = 0;
  virtual bool FlushFileBuffers(CommHandle comm) = 0;
  // Closes a port or an event handle.
  virtual bool CloseHandle(CommHandle handle) = 0;

  virtual uint32_t GetLastError() = 0;
  // The platform's code for a transfer that ran out of time.
  virtual uint32_t TimeoutError() = 0;
  // The platform's code for a setting the driver will not take, such as a
  // speed the port cannot run (ERROR_INVALID_PARAMETER, EINVAL).
  virtual uint32_t InvalidParameterError() = 0;
  virtual void Sleep(uint32_t milliseconds) = 0;
  // GetTickCount: milliseconds on a clock that only goes forward (it wraps).
  virtual uint32_t GetTickCount() = 0;
  // FormatMessageW(FROM_SYSTEM | IGNORE_INSERTS, system default language):
  // false when the system has no text for the code.
  virtual bool FormatErrorMessage(uint32_t error, std::u16string& text) = 0;

  // GetModuleHandleW("KERNEL32.DLL") and GetProcAddress(module, "CancelIo"):
  // 0 when missing (always on POSIX).
  virtual uintptr_t GetKernel32Module() = 0;
  virtual uintptr_t GetCancelIoEntry(uintptr_t module) = 0;
};

}  // namespace halvorn

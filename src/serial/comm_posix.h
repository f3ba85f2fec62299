// The serial calls on POSIX termios. A port is opened exclusively (flock and
// TIOCEXCL; one that another program holds in exclusive mode is refused, also
// to root), in raw 8-bit mode, with the speed set through termios2 where the
// C library has no constant for it, and closed with the settings it was found
// with. Error codes are errno values.
#pragma once

#include <map>
#include <set>
#include <string>

#include "serial/comm.h"
#include "serial/comm_speed_linux.h"

namespace halvorn {

class PosixComm : public CommApi {
 public:
  CommHandle OpenComm(const char16_t* path) override;
  CommHandle CreateManualResetEvent() override;
  bool GetCommState(CommHandle comm, Dcb& dcb) override;
  bool SetCommState(CommHandle comm, const Dcb& dcb) override;
  bool SetupComm(CommHandle comm, uint32_t inQueue, uint32_t outQueue) override;
  bool SetCommTimeouts(CommHandle comm, const CommTimeouts& timeouts) override;
  bool WriteComm(CommHandle comm, const void* data, uint32_t length, uint32_t& written) override;
  bool ClearCommError(CommHandle comm, uint32_t& errors, ComStat& status) override;
  bool ReadComm(CommHandle comm, void* buffer, uint32_t capacity, uint32_t& read) override;
  bool PurgeComm(CommHandle comm, uint32_t flags) override;
  bool FlushFileBuffers(CommHandle comm) override;
  bool CloseHandle(CommHandle handle) override;
  uint32_t GetLastError() override;
  uint32_t TimeoutError() override;
  uint32_t InvalidParameterError() override;
  void Sleep(uint32_t milliseconds) override;
  uint32_t GetTickCount() override;
  bool FormatErrorMessage(uint32_t error, std::u16string& text) override;
  uintptr_t GetKernel32Module() override { return 0; }
  uintptr_t GetCancelIoEntry(uintptr_t) override { return 0; }

  // The file a device path names: "\\.\" is dropped, COMn (n >= 1) stands for
  // /dev/ttyS(n-1), anything else is a path as it is.
  static std::string DeviceFileFor(const char16_t* path);

 private:
  // What a Windows driver keeps per port and termios has no place for.
  struct PortState {
    Dcb dcb;
    CommTimeouts timeouts;
    SavedLineSettings found;  // the line's settings before the open
  };

  PortState* FindPort(CommHandle comm);

  std::map<CommHandle, PortState> m_mapPorts;
  std::set<CommHandle> m_setEvents;
  CommHandle m_hNextEvent = 0x40000000;  // above any descriptor number
};

}  // namespace halvorn

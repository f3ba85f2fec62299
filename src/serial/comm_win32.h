// The serial calls straight on kernel32. Handles, DCB and COMMTIMEOUTS pass
// through unchanged; error codes are Win32 error numbers.
#pragma once

#include "serial/comm.h"

namespace halvorn {

class Win32Comm final : public CommApi {
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
  uintptr_t GetKernel32Module() override;
  uintptr_t GetCancelIoEntry(uintptr_t module) override;
};

}  // namespace halvorn

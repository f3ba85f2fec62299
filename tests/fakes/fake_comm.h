// A serial seam that records every call as a line of text, plays a modem from
// a byte script, and can make any one call fail with a chosen code. It never
// waits: Sleep is only recorded.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "serial/comm.h"

namespace halvorn::testing {

class FakeComm final : public CommApi {
 public:
  static constexpr CommHandle kFirstPort = 0x100;
  static constexpr CommHandle kFirstEvent = 0x200;

  // Makes the call recorded as `call` (its name, or name and argument such as
  // "PurgeComm 8") fail with code.
  void FailOn(const std::string& call, uint32_t code) { failures[call] = code; }

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
  uint32_t GetLastError() override { return lastError; }
  uint32_t TimeoutError() override { return 1460; }
  void Sleep(uint32_t milliseconds) override;
  bool FormatErrorMessage(uint32_t error, std::u16string& text) override;
  uintptr_t GetKernel32Module() override;
  uintptr_t GetCancelIoEntry(uintptr_t module) override;

  std::vector<std::string> calls;
  std::map<std::string, uint32_t> failures;
  std::set<CommHandle> open;   // handles handed out and not closed yet
  uint32_t lastError = 0;
  uint32_t closeLeavesError = 6;  // CloseHandle overwrites the last error, as a careless read would show

  Dcb driverDcb;                  // what GetCommState reports
  std::vector<Dcb> dcbsSet;       // every SetCommState record
  uint32_t dcbLengthAsked = 0;    // DCBlength handed to GetCommState
  std::vector<CommTimeouts> timeoutsSet;
  uint32_t writeLimit = UINT32_MAX;  // bytes a write takes before its timeout
  std::string wire;               // every byte written
  std::string incoming;           // the modem's bytes, waiting to be read
  std::map<uint32_t, std::u16string> messages;  // FormatErrorMessage texts
  uintptr_t kernel32 = 0x7c800000;

 private:
  bool Record(const std::string& name, const std::string& argument = "");

  CommHandle m_hNextPort = kFirstPort;
  CommHandle m_hNextEvent = kFirstEvent;
};

}  // namespace halvorn::testing

// A serial seam that records every call as a line of text, plays a modem from
// a byte script, and can make any one call fail with a chosen code. It never
// waits: Sleep is only recorded.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "serial/comm.h"
#include "serial/serial_port.h"
#include "text/console.h"

namespace halvorn::testing {

class FakeComm final : public CommApi {
 public:
  CommHandle OpenComm(const char16_t* path) override {
    return Record("OpenComm " + EncodeUtf8(path)) ? Hand(m_hNextPort) : kInvalidCommHandle;
  }
  CommHandle CreateManualResetEvent() override {
    return Record("CreateManualResetEvent") ? Hand(m_hNextEvent) : kNullCommHandle;
  }
  bool GetCommState(CommHandle, Dcb& dcb) override {
    dcb = driverDcb;
    return Record("GetCommState");
  }
  bool SetCommState(CommHandle, const Dcb& dcb) override {
    dcbSet = dcb;
    return Record("SetCommState", dcb.BaudRate);
  }
  bool SetupComm(CommHandle, uint32_t inQueue, uint32_t outQueue) override {
    return Record("SetupComm", inQueue, outQueue);
  }
  bool SetCommTimeouts(CommHandle, const CommTimeouts& t) override {
    return Record("SetCommTimeouts", t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                  t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                  t.WriteTotalTimeoutConstant);
  }
  bool WriteComm(CommHandle, const void* data, uint32_t length, uint32_t& written) override {
    const bool ok = Record("WriteComm", length);
    written = ok ? length : 0;
    wire.append(static_cast<const char*>(data), written);
    return ok;
  }
  bool ClearCommError(CommHandle, uint32_t&, ComStat& status) override {
    status.cbInQue = static_cast<uint32_t>(incoming.size());
    return Record("ClearCommError");
  }
  bool ReadComm(CommHandle, void* buffer, uint32_t capacity, uint32_t& read) override {
    const bool ok = Record("ReadComm", capacity);
    read = ok ? std::min<uint32_t>(capacity, static_cast<uint32_t>(incoming.size())) : 0;
    std::memcpy(buffer, incoming.data(), read);
    incoming.erase(0, read);
    return ok;
  }
  bool PurgeComm(CommHandle, uint32_t flags) override {
    if ((flags & kPurgeRxClear) != 0) incoming.clear();
    return Record("PurgeComm", flags);
  }
  bool FlushFileBuffers(CommHandle) override { return Record("FlushFileBuffers"); }
  // A handle closed twice, or never handed out, is a fault of the caller.
  bool CloseHandle(CommHandle handle) override {
    EXPECT_EQ(open.erase(handle), 1u) << "closing unknown handle " << handle;
    calls.push_back(handle < m_firstEvent ? "CloseHandle port" : "CloseHandle event");
    lastError = 6;  // closing overwrites the last error, as a careless read would show
    return true;
  }
  uint32_t GetLastError() override { return lastError; }
  uint32_t TimeoutError() override { return 1460; }
  void Sleep(uint32_t milliseconds) override { Record("Sleep", milliseconds); }
  bool FormatErrorMessage(uint32_t, std::u16string&) override { return false; }
  uintptr_t GetKernel32Module() override { return 0; }
  uintptr_t GetCancelIoEntry(uintptr_t) override { return 0; }

  std::vector<std::string> calls;
  std::map<std::string, uint32_t> failures;  // call (name, or name and arguments) -> code
  std::set<CommHandle> open;                 // handles handed out and not closed yet
  uint32_t lastError = 0;
  Dcb driverDcb;                             // what GetCommState reports
  Dcb dcbSet;                                // what SetCommState was given
  std::string wire;                          // every byte written
  std::string incoming;                      // the modem's bytes, waiting to be read

 private:
  // Records the call as its name and arguments; false, with the last error
  // set, when the call, or any call of that name, is to fail.
  template <typename... Arguments>
  bool Record(const std::string& name, Arguments... arguments) {
    calls.push_back((name + ... + (" " + std::to_string(arguments))));
    auto failure = failures.find(calls.back());
    if (failure == failures.end()) failure = failures.find(name.substr(0, name.find(' ')));
    if (failure != failures.end()) lastError = failure->second;
    return failure == failures.end();
  }
  CommHandle Hand(CommHandle& next) { return *open.insert(next++).first; }

  static constexpr CommHandle m_firstEvent = 0x200;
  CommHandle m_hNextPort = 0x100, m_hNextEvent = m_firstEvent;
};

// The code of the CSerialException that run raises, or 0 when it raises none.
inline uint32_t SerialErrorOf(const std::function<void()>& run) {
  try {
    run();
  } catch (CSerialException* failure) {
    const uint32_t code = failure->m_dwError;
    failure->Delete();
    return code;
  }
  return 0;
}

}  // namespace halvorn::testing

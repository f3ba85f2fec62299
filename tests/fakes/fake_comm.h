// A serial seam that records the name of every call, plays a modem from a
// byte string (and from bytes that arrive later, by its clock), and can make
// any one call fail with a chosen code. It never waits: Sleep is recorded and
// moves the clock.
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

namespace halvorn::testing {

class FakeComm final : public CommApi {
 public:
  CommHandle OpenComm(const char16_t*) override {
    return Record("OpenComm") ? Hand(m_hNextPort) : kInvalidCommHandle;
  }
  CommHandle CreateManualResetEvent() override {
    return Record("CreateManualResetEvent") ? Hand(m_hNextEvent) : kNullCommHandle;
  }
  bool GetCommState(CommHandle, Dcb& dcb) override { dcb = driverDcb; return Record("GetCommState"); }
  // A speed in refusedSpeeds is refused as the platform's driver does.
  bool SetCommState(CommHandle, const Dcb& dcb) override {
    if (!Record("SetCommState")) return false;
    if (refusedSpeeds.contains(dcb.BaudRate)) return lastError = speedRefusal, false;
    return dcbSet = dcb, true;
  }
  bool SetupComm(CommHandle, uint32_t, uint32_t) override { return Record("SetupComm"); }
  bool SetCommTimeouts(CommHandle, const CommTimeouts&) override { return Record("SetCommTimeouts"); }
  bool WriteComm(CommHandle, const void* data, uint32_t length, uint32_t& written) override {
    const bool ok = Record("WriteComm");
    written = ok ? length : 0;
    wire.append(static_cast<const char*>(data), written);
    return ok;
  }
  bool ClearCommError(CommHandle, uint32_t&, ComStat& status) override {
    while (!arriving.empty() && arriving.front().first <= now) {
      incoming += arriving.front().second;
      arriving.erase(arriving.begin());
    }
    status.cbInQue = static_cast<uint32_t>(incoming.size());
    return Record("ClearCommError");
  }
  bool ReadComm(CommHandle, void* buffer, uint32_t capacity, uint32_t& read) override {
    const bool ok = Record("ReadComm");
    read = ok ? std::min<uint32_t>(capacity, static_cast<uint32_t>(incoming.size())) : 0;
    std::memcpy(buffer, incoming.data(), read);
    incoming.erase(0, read);
    return ok;
  }
  bool PurgeComm(CommHandle, uint32_t flags) override {
    if ((flags & kPurgeRxClear) != 0) incoming.clear();
    return Record("PurgeComm");
  }
  bool FlushFileBuffers(CommHandle) override { return Record("FlushFileBuffers"); }
  // A handle closed twice, or never handed out, is a fault of the caller.
  bool CloseHandle(CommHandle handle) override {
    EXPECT_EQ(open.erase(handle), 1u) << "closing unknown handle " << handle;
    calls.push_back("CloseHandle");
    lastError = 6;  // closing overwrites the last error, as a careless read would show
    return true;
  }
  uint32_t GetLastError() override { return lastError; }
  uint32_t TimeoutError() override { return 1460; }
  uint32_t InvalidParameterError() override { return invalidParameter; }
  void Sleep(uint32_t milliseconds) override { Record("Sleep"), now += milliseconds; }
  uint32_t GetTickCount() override { return now; }
  bool FormatErrorMessage(uint32_t, std::u16string&) override { return false; }
  uintptr_t GetKernel32Module() override { return 0; }
  uintptr_t GetCancelIoEntry(uintptr_t) override { return 0; }

  std::vector<std::string> calls;
  std::map<std::string, uint32_t> failures;  // call name -> code
  std::set<CommHandle> open;                 // handles handed out and not closed yet
  uint32_t lastError = 0;
  std::set<uint32_t> refusedSpeeds;          // speeds the port cannot run
  uint32_t invalidParameter = 87;            // ERROR_INVALID_PARAMETER; EINVAL is 22
  uint32_t speedRefusal = 87;                // the code a refused speed fails with
  Dcb driverDcb;                             // what GetCommState reports
  Dcb dcbSet;                                // what SetCommState was given
  std::string wire;                          // every byte written
  std::string incoming;                      // the modem's bytes, waiting to be read
  std::vector<std::pair<uint32_t, std::string>> arriving;  // by time, bytes still to come
  uint32_t now = 0;                          // the clock, in milliseconds

 private:
  // Records the call; false, with the last error set, when it is to fail.
  bool Record(const std::string& name) {
    calls.push_back(name);
    const auto failure = failures.find(name);
    if (failure != failures.end()) lastError = failure->second;
    return failure == failures.end();
  }
  CommHandle Hand(CommHandle& next) { return *open.insert(next++).first; }

  CommHandle m_hNextPort = 0x100, m_hNextEvent = 0x200;
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

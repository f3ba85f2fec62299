#include "fakes/fake_comm.h"

#include <algorithm>
#include <cstring>

#include "text/console.h"

namespace halvorn::testing {

bool FakeComm::Record(const std::string& name, const std::string& argument) {
  const std::string call = argument.empty() ? name : name + " " + argument;
  calls.push_back(call);
  for (const std::string& key : {call, name}) {
    const auto failure = failures.find(key);
    if (failure != failures.end()) {
      lastError = failure->second;
      return false;
    }
  }
  return true;
}

CommHandle FakeComm::OpenComm(const char16_t* path) {
  if (!Record("OpenComm", EncodeUtf8(path))) return kInvalidCommHandle;
  open.insert(m_hNextPort);
  return m_hNextPort++;
}

CommHandle FakeComm::CreateManualResetEvent() {
  if (!Record("CreateManualResetEvent")) return kNullCommHandle;
  open.insert(m_hNextEvent);
  return m_hNextEvent++;
}

bool FakeComm::GetCommState(CommHandle, Dcb& dcb) {
  dcbLengthAsked = dcb.DCBlength;
  if (!Record("GetCommState")) return false;
  dcb = driverDcb;
  return true;
}

bool FakeComm::SetCommState(CommHandle, const Dcb& dcb) {
  if (!Record("SetCommState", std::to_string(dcb.BaudRate))) return false;
  dcbsSet.push_back(dcb);
  return true;
}

bool FakeComm::SetupComm(CommHandle, uint32_t inQueue, uint32_t outQueue) {
  return Record("SetupComm", std::to_string(inQueue) + " " + std::to_string(outQueue));
}

bool FakeComm::SetCommTimeouts(CommHandle, const CommTimeouts& timeouts) {
  if (!Record("SetCommTimeouts")) return false;
  timeoutsSet.push_back(timeouts);
  return true;
}

bool FakeComm::WriteComm(CommHandle, const void* data, uint32_t length, uint32_t& written) {
  written = 0;
  if (!Record("WriteComm", std::to_string(length))) return false;
  written = std::min(length, writeLimit);
  wire.append(static_cast<const char*>(data), written);
  return true;
}

bool FakeComm::ClearCommError(CommHandle, uint32_t& errors, ComStat& status) {
  if (!Record("ClearCommError")) return false;
  errors = 0;
  status.cbInQue = static_cast<uint32_t>(incoming.size());
  return true;
}

bool FakeComm::ReadComm(CommHandle, void* buffer, uint32_t capacity, uint32_t& read) {
  read = 0;
  if (!Record("ReadComm", std::to_string(capacity))) return false;
  read = static_cast<uint32_t>(std::min<size_t>(capacity, incoming.size()));
  std::memcpy(buffer, incoming.data(), read);
  incoming.erase(0, read);
  return true;
}

bool FakeComm::PurgeComm(CommHandle, uint32_t flags) {
  if (!Record("PurgeComm", std::to_string(flags))) return false;
  if ((flags & kPurgeRxClear) != 0) incoming.clear();
  return true;
}

bool FakeComm::FlushFileBuffers(CommHandle) { return Record("FlushFileBuffers"); }

bool FakeComm::CloseHandle(CommHandle handle) {
  const bool known = open.erase(handle) != 0;
  const bool isPort = handle >= kFirstPort && handle < kFirstEvent;
  calls.push_back(std::string("CloseHandle ") + (known ? (isPort ? "port" : "event") : "unknown"));
  lastError = closeLeavesError;
  return known;
}

void FakeComm::Sleep(uint32_t milliseconds) { calls.push_back("Sleep " + std::to_string(milliseconds)); }

bool FakeComm::FormatErrorMessage(uint32_t error, std::u16string& text) {
  const auto found = messages.find(error);
  if (found == messages.end()) return false;
  text = found->second;
  return true;
}

uintptr_t FakeComm::GetKernel32Module() {
  calls.push_back("GetKernel32Module");
  return kernel32;
}

uintptr_t FakeComm::GetCancelIoEntry(uintptr_t module) {
  calls.push_back("GetCancelIoEntry");
  return module + 0x1234;
}

}  // namespace halvorn::testing

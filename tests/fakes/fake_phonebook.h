// The services an entry is made with (phonebook, environment, process heap),
// each recording every call in one shared log, with results set per
// operation; and the records the tool fills in.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dialup/entry/environment.h"
#include "dialup/entry/phonebook.h"
#include "dialup/entry/process_heap.h"
#include "text/utf8.h"

namespace halvorn::testing {

// An entry record for a modem, as the tool fills it in.
inline RasEntryRecord TabledEntry(const std::u16string& phoneNumber = u"5551234") {
  RasEntryRecord record{};
  record.dwSize = kRasEntryRecordSize;
  phoneNumber.copy(record.szLocalPhoneNumber, phoneNumber.size());
  std::u16string(u"modem").copy(record.szDeviceType, 5);
  std::u16string(u"USR 56K").copy(record.szDeviceName, 7);
  return record;
}

inline RasCredentialsRecord Credentials(const std::u16string& user, const std::u16string& password) {
  RasCredentialsRecord record{};
  record.dwSize = kRasCredentialsRecordSize;
  record.dwMask = 3;
  user.copy(record.szUserName, user.size());
  password.copy(record.szPassword, password.size());
  return record;
}

class FakePhonebook final : public Phonebook {
 public:
  explicit FakePhonebook(std::vector<std::string>& log) : m_log(log) {}

  uint32_t reportedSize = kRasEntryRecordSize;
  uint32_t setStatus = 0, credentialsStatus = 0, getStatus = 0;

  RasEntryRecord record{};  // the first bytes of the block given to SetEntryProperties
  RasCredentialsRecord credentials{};
  uint32_t getDeclaredSize = 0;  // dwSize of the block given to GetEntryProperties
  bool CanStore(EntryOperand, const char16_t*) override { return true; }

  uint32_t QueryEntrySize(uint32_t& size) override {
    m_log.push_back("QueryEntrySize " + std::to_string(size));
    size = reportedSize;
    return kErrorBufferTooSmall;
  }
  uint32_t ValidateEntryName(const char16_t* name) override {
    Log("ValidateEntryName", name);
    return 0;
  }
  uint32_t SetEntryProperties(const char16_t* name, const void* block, uint32_t size) override {
    Log("SetEntryProperties", name, std::to_string(size).c_str());
    std::memcpy(&record, block, size < sizeof record ? size : sizeof record);
    return setStatus;
  }
  uint32_t SetCredentials(const char16_t* name, const RasCredentialsRecord& given) override {
    Log("SetCredentials", name);
    credentials = given;
    return credentialsStatus;
  }
  uint32_t GetEntryProperties(const char16_t* name, void* block, uint32_t& size) override {
    Log("GetEntryProperties", name, std::to_string(size).c_str());
    std::memcpy(&getDeclaredSize, block, sizeof getDeclaredSize);
    std::memset(block, 0xAB, size);  // a short block shows up under the sanitizers
    return getStatus;
  }

 private:
  void Log(const char* call, const char16_t* name, const char* size = nullptr) {
    m_log.push_back(call + (" " + EncodeUtf8(name)) + (size ? std::string(" ") + size : ""));
  }

  std::vector<std::string>& m_log;
};

// The phonebook file is a set name, or fails with error.
class FakeEnvironment final : public Environment {
 public:
  explicit FakeEnvironment(std::vector<std::string>& log) : m_log(log) {}
  std::u16string file = u"C:\\ProgramData\\rasphone.pbk";
  uint32_t error = 0;

  uint32_t AllUsersPhonebookFile(char16_t* buffer, uint32_t capacity) override {
    m_log.push_back("AllUsersPhonebookFile " + std::to_string(capacity));
    if (error == 0) buffer[file.copy(buffer, capacity - 1)] = u'\0';
    return error;
  }

 private:
  std::vector<std::string>& m_log;
};

// A heap that can refuse, and counts the blocks taken and not given back.
class FakeProcessHeap final : public ProcessHeap {
 public:
  explicit FakeProcessHeap(std::vector<std::string>& log) : m_log(log) {}
  bool fails = false;
  int liveBlocks = 0;

  void* AllocateZeroed(size_t bytes) override {
    m_log.push_back("AllocateZeroed " + std::to_string(bytes));
    return fails ? nullptr : (++liveBlocks, std::calloc(1, bytes));
  }
  void Free(void* block) override { m_log.push_back("Free"), --liveBlocks, std::free(block); }

 private:
  std::vector<std::string>& m_log;
};

}  // namespace halvorn::testing

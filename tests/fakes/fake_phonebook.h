// A phonebook service that records what it receives: every call as a line of
// a shared log, the entry record as the service would read it and the
// credentials record. Results are set per operation.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "dialup/phonebook.h"
#include "text/console.h"

namespace halvorn::testing {

class FakePhonebook final : public Phonebook {
 public:
  explicit FakePhonebook(std::vector<std::string>& log) : m_log(log) {}

  uint32_t reportedSize = kRasEntryRecordSize;
  uint32_t validateStatus = 0;
  uint32_t setStatus = 0;
  uint32_t credentialsStatus = 0;
  uint32_t getStatus = 0;

  // What the service saw.
  std::vector<uint8_t> recordBytes;  // the whole block given to SetEntryProperties
  RasEntryRecord record{};           // its first bytes, as the record layout
  RasCredentialsRecord credentials{};
  uint32_t getSize = 0;              // the buffer size given to GetEntryProperties
  uint32_t getDeclaredSize = 0;      // dwSize of that buffer

  uint32_t QueryEntrySize(uint32_t& size) override {
    m_log.push_back("QueryEntrySize " + std::to_string(size));
    size = reportedSize;
    return kErrorBufferTooSmall;
  }
  uint32_t ValidateEntryName(const char16_t* entryName) override {
    m_log.push_back("ValidateEntryName " + EncodeUtf8(entryName));
    return validateStatus;
  }
  uint32_t SetEntryProperties(const char16_t* entryName, const void* block,
                              uint32_t size) override {
    m_log.push_back("SetEntryProperties " + EncodeUtf8(entryName) + " " + std::to_string(size));
    const auto* bytes = static_cast<const uint8_t*>(block);
    recordBytes.assign(bytes, bytes + size);
    std::memcpy(&record, bytes, std::min<size_t>(size, sizeof record));
    return setStatus;
  }
  uint32_t SetCredentials(const char16_t* entryName,
                          const RasCredentialsRecord& given) override {
    m_log.push_back("SetCredentials " + EncodeUtf8(entryName));
    credentials = given;
    return credentialsStatus;
  }
  uint32_t GetEntryProperties(const char16_t* entryName, void* block, uint32_t& size) override {
    m_log.push_back("GetEntryProperties " + EncodeUtf8(entryName) + " " + std::to_string(size));
    getSize = size;
    std::memcpy(&getDeclaredSize, block, sizeof getDeclaredSize);
    // A service fills the whole buffer it was told about: a short block shows
    // up under the sanitizers.
    std::memset(block, 0xAB, size);
    return getStatus;
  }

 private:
  std::vector<std::string>& m_log;
};

}  // namespace halvorn::testing

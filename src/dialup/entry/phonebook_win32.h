#pragma once

#include "dialup/entry/phonebook.h"

namespace halvorn {

// The Remote Access service (rasapi32) on the default phonebook.
class Win32Phonebook final : public Phonebook {
 public:
  uint32_t QueryEntrySize(uint32_t& size) override;
  uint32_t ValidateEntryName(const char16_t* entryName) override;
  bool IsDefaultPhonebookMissing() override;
  uint32_t SetEntryProperties(const char16_t* entryName, const void* record,
                              uint32_t size) override;
  uint32_t SetCredentials(const char16_t* entryName,
                          const RasCredentialsRecord& credentials) override;
  uint32_t GetEntryProperties(const char16_t* entryName, void* record, uint32_t& size) override;
};

}  // namespace halvorn

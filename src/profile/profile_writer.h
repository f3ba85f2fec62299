// The seam to the platform's profile writer: set one key in one section of one
// INI-style file, creating the file, the section or the key as needed.
#pragma once

#include <cstdint>

namespace halvorn {

class ProfileWriter {
 public:
  virtual ~ProfileWriter() = default;
  // False on failure, with the platform's code in LastError().
  virtual bool WriteString(const char16_t* section, const char16_t* key, const char16_t* value,
                           const char16_t* fileName) = 0;
  virtual uint32_t LastError() = 0;
  // Whether the texts can be written as given into fileName, asked before
  // anything else is written; a null fileName asks what no file could hold.
  // False when WriteString would refuse them without trying the write.
  virtual bool CanHold(const char16_t* /*section*/, const char16_t* /*key*/,
                       const char16_t* /*value*/, const char16_t* /*fileName*/) {
    return true;
  }
};

}  // namespace halvorn

// The thread's ANSI code page through MultiByteToWideChar / WideCharToMultiByte.
#pragma once

#include "text/code_page.h"

namespace halvorn {

class Win32CodePage final : public CodePage {
 public:
  int ToWide(uint32_t codePage, const char* source, int sourceLength, char16_t* target,
             int targetCapacity) override;
  int ToNarrow(uint32_t codePage, const char16_t* source, int sourceLength, char* target,
               int targetCapacity) override;
  uint32_t LastError() override;
};

}  // namespace halvorn

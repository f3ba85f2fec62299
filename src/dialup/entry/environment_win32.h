#pragma once

#include "dialup/entry/environment.h"

namespace halvorn {

// DoEnvironmentSubstW.
class Win32Environment final : public Environment {
 public:
  uint32_t ExpandInPlace(char16_t* buffer, uint32_t capacity) override;
};

}  // namespace halvorn

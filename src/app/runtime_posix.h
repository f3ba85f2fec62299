#pragma once

#include "app/runtime.h"

namespace halvorn {

class PosixRuntime final : public Runtime {
 public:
  bool Initialize() override;
};

}  // namespace halvorn

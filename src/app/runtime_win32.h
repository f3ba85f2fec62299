#pragma once

#include "app/runtime.h"

namespace halvorn {

class Win32Runtime final : public Runtime {
 public:
  bool Initialize() override;
};

}  // namespace halvorn

// The platform services a run of the tool works with. The entry point fills
// this with the backends of its platform; tests fill it with fakes.
#pragma once

namespace halvorn {

class Console;

struct Services {
  Console& console;
};

}  // namespace halvorn

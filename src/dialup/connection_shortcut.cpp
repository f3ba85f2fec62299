#include "dialup/connection_shortcut.h"

namespace halvorn {

// Placeholder until the shell link writer lands.
void CreateConnectionShortcut(ShellApi&, Console&, const char16_t*, const char16_t*) {}

}  // namespace halvorn

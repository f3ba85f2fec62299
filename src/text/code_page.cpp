#include "text/code_page.h"

#include <stdexcept>

namespace halvorn {

namespace {
CodePage* g_activeCodePage = nullptr;
}

CodePage& ActiveCodePage() {
  if (g_activeCodePage == nullptr) throw std::logic_error("no code page installed");
  return *g_activeCodePage;
}

void InstallCodePage(CodePage* codePage) { g_activeCodePage = codePage; }

}  // namespace halvorn

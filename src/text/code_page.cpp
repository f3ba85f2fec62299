#include "text/code_page.h"

#include <stdexcept>

namespace halvorn {

namespace {
CodePage* g_activeCodePage = nullptr;
CodePage* g_replyCodePage = nullptr;
}

CodePage& ActiveCodePage() {
  if (g_activeCodePage == nullptr) throw std::logic_error("no code page installed");
  return *g_activeCodePage;
}

CodePage& ReplyCodePage() {
  return g_replyCodePage != nullptr ? *g_replyCodePage : ActiveCodePage();
}

void InstallCodePage(CodePage* codePage, CodePage* replyCodePage) {
  g_activeCodePage = codePage;
  g_replyCodePage = replyCodePage;
}

}  // namespace halvorn

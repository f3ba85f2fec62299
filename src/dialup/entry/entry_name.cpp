#include "dialup/entry/entry_name.h"

#include "text/ascii.h"

namespace halvorn {

bool HasDocumentedEntryNameForm(std::u16string_view name) {
  if (name.empty() || name.front() == u'.') return false;
  bool hasLetterOrDigit = false;
  for (char16_t unit : name) {
    if (std::u16string_view(u"|><?*\\/:").find(unit) != std::u16string_view::npos) return false;
    if (IsAsciiAlphaNumeric(unit) || unit >= 0xC0) hasLetterOrDigit = true;
  }
  return hasLetterOrDigit;
}

}  // namespace halvorn

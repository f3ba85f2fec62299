#include "profile/faithful_profile_writer.h"

#include <string>
#include <string_view>

#include "text/code_page.h"

namespace halvorn {
namespace {

bool HoldsLineEnd(std::u16string_view name) { return name.find_first_of(u"\r\n") != name.npos; }

// Names are matched with the blanks around them ignored, so that is how the
// file will read them back.
std::u16string_view TrimBlanks(std::u16string_view text) {
  size_t first = text.find_first_not_of(u" \t");
  if (first == text.npos) return {};
  return text.substr(first, text.find_last_not_of(u" \t") - first + 1);
}

}  // namespace

bool FaithfulProfileWriter::CanStore(const char16_t* section, const char16_t* key) {
  if (section == nullptr || key == nullptr) return false;
  const std::u16string_view sectionName(section);
  const std::u16string_view keyName(key);
  if (HoldsLineEnd(sectionName) || HoldsLineEnd(keyName)) return false;
  // "]" would end the section's header early; blanks at its ends are dropped
  // when the section is looked up, so " Office" would be Office's section; and
  // the file's readers trim or break lines at other control characters.
  if (sectionName.find(u']') != sectionName.npos || TrimBlanks(sectionName) != sectionName) return false;
  for (char16_t unit : sectionName)
    if (unit < 0x20 || unit == 0x7F) return false;
  // An empty key reads back as no key; ";" starts a comment, "[" a header,
  // and the first "=" ends the key.
  const std::u16string_view trimmedKey = TrimBlanks(keyName);
  if (trimmedKey.empty() || trimmedKey.front() == u';' || trimmedKey.front() == u'[') return false;
  return keyName.find(u'=') == keyName.npos;
}

bool FaithfulProfileWriter::CanHold(const char16_t* section, const char16_t* key,
                                    const char16_t* value, const char16_t* fileName) {
  return CanStore(section, key) && value != nullptr &&
         (fileName == nullptr || m_rInner.CanHold(section, key, value, fileName));
}

bool FaithfulProfileWriter::WriteString(const char16_t* section, const char16_t* key,
                                        const char16_t* value, const char16_t* fileName) {
  m_bRefused = !CanStore(section, key) || value == nullptr;
  if (m_bRefused) return false;
  std::u16string flatValue(value);
  for (char16_t& unit : flatValue)
    if (unit == u'\r' || unit == u'\n') unit = u' ';
  return m_rInner.WriteString(section, key, flatValue.c_str(), fileName);
}

uint32_t FaithfulProfileWriter::LastError() {
  return m_bRefused ? kErrorInvalidParameter : m_rInner.LastError();
}

}  // namespace halvorn

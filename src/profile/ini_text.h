// Edits INI-style text in memory without rebuilding it: every line that is not
// changed keeps its bytes, and every call is one pass over the text that needs
// no memory beyond it. Sections and keys match without regard to ASCII case
// and with the blanks around names ignored; the first match wins. Texts are
// UTF-8 bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvorn::ini {

// Sets key=value in section. A new key goes after the last non-blank line of
// its section, a new section at the end; a last line without a line end gets
// one first. New lines end as the text's first line does (CR LF or LF); a text
// without a line end yet gets LF.
// Blanks before the value are dropped. Returns false when the key already held
// exactly that value (text untouched).
bool SetValue(std::string& text, std::string_view section, std::string_view key,
              std::string_view value);

// Removes the first key line of that name in section, or the whole section
// (its header and every line up to the next header). Returns whether the text
// changed; every other line keeps its bytes.
bool RemoveKey(std::string& text, std::string_view section, std::string_view key);
bool RemoveSection(std::string& text, std::string_view section);

// The value of key in section, without the blanks around it; none when absent.
std::optional<std::string> GetValue(std::string_view text, std::string_view section,
                                    std::string_view key);

// The name of the first section matching section, as the file spells it.
std::optional<std::string> SectionSpelling(std::string_view text, std::string_view section);

// Section names in file order, as the file spells them (blanks trimmed).
std::vector<std::string> SectionNames(std::string_view text);

// Values read back without the blanks around them, so a value that must come
// back exactly (a password) is stored in double quotes when it has blanks at
// either end or is itself quoted; UnquoteValue removes one pair of quotes
// around a value as read, as Windows does. Any other value is stored as is.
std::string QuoteValue(std::string_view value);
std::string UnquoteValue(std::string_view stored);

}  // namespace halvorn::ini

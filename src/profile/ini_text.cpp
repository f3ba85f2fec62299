#include "profile/ini_text.h"

#include <cstddef>

namespace halvorn::ini {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr size_t kNone = std::string_view::npos;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Names match without regard to ASCII case and to the blanks around them.
bool SameName(std::string_view a, std::string_view b) {
  a = TrimBlanks(a);
  b = TrimBlanks(b);
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

enum class Kind { kOther, kSection, kKey };

// One line of the text: [contentBegin, contentEnd) is what it says, [contentEnd,
// end) its line end (LF, CR LF, or nothing on a last line without one).
struct Line {
  size_t contentBegin = 0;
  size_t contentEnd = 0;
  size_t end = 0;
  Kind kind = Kind::kOther;
  std::string_view name;  // section or key name, blanks trimmed
  size_t equals = kNone;  // offset of the '=' of a key line in the text
  bool blank = true;
};

// Walks the lines one at a time, so that a large file costs no more memory
// than its text.
class LineReader {
 public:
  explicit LineReader(std::string_view text)
      : m_strText(text), m_nNext(text.starts_with(kUtf8Bom) ? kUtf8Bom.size() : 0) {}

  bool Next(Line& line) {
    if (m_nNext >= m_strText.size()) return false;
    const size_t begin = m_nNext;
    const size_t lf = m_strText.find('\n', begin);
    line = Line{};
    line.contentBegin = begin;
    line.end = (lf == kNone) ? m_strText.size() : lf + 1;
    line.contentEnd = (lf == kNone) ? m_strText.size() : lf;
    // A CR right before the LF (or ending the text) belongs to the line end.
    if (line.contentEnd > begin && m_strText[line.contentEnd - 1] == '\r') --line.contentEnd;
    m_nNext = line.end;

    const std::string_view content = m_strText.substr(begin, line.contentEnd - begin);
    const std::string_view trimmed = TrimBlanks(content);
    line.blank = trimmed.empty();
    if (trimmed.starts_with('[')) {
      const std::string_view inside = trimmed.substr(1);
      line.kind = Kind::kSection;
      line.name = TrimBlanks(inside.substr(0, inside.find(']')));
    } else if (const size_t eq = content.find('='); eq != kNone) {
      line.kind = Kind::kKey;
      line.name = TrimBlanks(content.substr(0, eq));
      line.equals = begin + eq;
    } else if (!trimmed.empty()) {
      // Windows reads a line without "=" as a key with no value yet.
      line.kind = Kind::kKey;
      line.name = trimmed;
    }
    return true;
  }

 private:
  std::string_view m_strText;
  size_t m_nNext;
};

// Finds the first header naming the section; reader stands after it.
bool FindSection(LineReader& reader, std::string_view section, Line& header) {
  while (reader.Next(header))
    if (header.kind == Kind::kSection && SameName(header.name, section)) return true;
  return false;
}

// The key's line in the section that the reader stands in, if any; last
// becomes the section's last non-blank line seen (left as it was when none).
bool FindKey(LineReader& reader, std::string_view key, Line& found, Line& last) {
  Line line;
  while (reader.Next(line) && line.kind != Kind::kSection) {
    if (line.kind == Kind::kKey && SameName(line.name, key)) {
      found = line;
      return true;
    }
    if (!line.blank) last = line;
  }
  return false;
}

// New lines follow the file's first line end: CR LF in a file from Windows, LF
// in one from Linux. A text without a line end yet is a new Linux file and
// gets LF, so that scripts reading it find no carriage return in a value.
std::string_view LineEndOf(std::string_view text) {
  const size_t end = text.find_first_of("\r\n");
  if (end == kNone || text[end] == '\n') return "\n";
  return "\r\n";
}

// Gives a last line without a line end its line end, before anything follows
// it; a text that is only a byte-order mark has no line yet.
void EndLastLine(std::string& text, std::string_view lineEnd) {
  if (text.empty() || text.back() == '\n' || text == kUtf8Bom) return;
  text.append(text.back() == '\r' ? "\n" : lineEnd);
}

std::string_view ValueOf(std::string_view text, const Line& line) {
  if (line.equals == kNone) return {};
  return text.substr(line.equals + 1, line.contentEnd - line.equals - 1);
}

}  // namespace

bool SetValue(std::string& text, std::string_view section, std::string_view key,
              std::string_view value) {
  // Blanks before a value are never read back, so they are not written, as
  // Windows does; else a second write of the same value would add them again.
  while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
  const std::string_view lineEnd = LineEndOf(text);
  LineReader reader(text);
  Line header;
  if (!FindSection(reader, section, header)) {
    EndLastLine(text, lineEnd);
    text.append("[").append(TrimBlanks(section)).append("]").append(lineEnd);
    text.append(TrimBlanks(key)).append("=").append(value).append(lineEnd);
    return true;
  }

  Line found, last = header;
  if (FindKey(reader, key, found, last)) {
    if (found.equals == kNone) {
      // The key's spelling stays; "=" and the value take the place of the
      // blanks after it, so that a second write finds the value as written.
      const size_t nameEnd =
          static_cast<size_t>(found.name.data() - text.data()) + found.name.size();
      text.replace(nameEnd, found.contentEnd - nameEnd, std::string("=").append(value));
      return true;
    }
    // Only the value changes: the key's spelling, the blanks before the value
    // and the line's own line end stay.
    size_t valueBegin = found.equals + 1;
    while (valueBegin < found.contentEnd && IsBlank(text[valueBegin])) ++valueBegin;
    const std::string_view old(text.data() + valueBegin, found.contentEnd - valueBegin);
    if (old == value || TrimBlanks(old) == value) return false;
    text.replace(valueBegin, found.contentEnd - valueBegin, value);
    return true;
  }

  // A new key goes after the last non-blank line of its section, so blank
  // lines that separate it from the next section stay where they are.
  size_t insertAt = last.end;
  if (insertAt == text.size()) {
    EndLastLine(text, lineEnd);
    insertAt = text.size();
  }
  std::string keyLine;
  keyLine.append(TrimBlanks(key)).append("=").append(value).append(lineEnd);
  text.insert(insertAt, keyLine);
  return true;
}

bool RemoveKey(std::string& text, std::string_view section, std::string_view key) {
  LineReader reader(text);
  Line header, found, last;
  if (!FindSection(reader, section, header) || !FindKey(reader, key, found, last)) return false;
  text.erase(found.contentBegin, found.end - found.contentBegin);
  return true;
}

bool RemoveSection(std::string& text, std::string_view section) {
  LineReader reader(text);
  Line header;
  if (!FindSection(reader, section, header)) return false;
  size_t end = text.size();
  for (Line line; reader.Next(line);) {
    if (line.kind == Kind::kSection) {
      end = line.contentBegin;
      break;
    }
  }
  text.erase(header.contentBegin, end - header.contentBegin);
  return true;
}

std::optional<std::string> GetValue(std::string_view text, std::string_view section,
                                    std::string_view key) {
  LineReader reader(text);
  Line header, found, last;
  if (!FindSection(reader, section, header) || !FindKey(reader, key, found, last))
    return std::nullopt;
  return std::string(TrimBlanks(ValueOf(text, found)));
}

std::optional<std::string> SectionSpelling(std::string_view text, std::string_view section) {
  LineReader reader(text);
  Line header;
  if (!FindSection(reader, section, header)) return std::nullopt;
  return std::string(header.name);
}

std::vector<std::string> SectionNames(std::string_view text) {
  std::vector<std::string> names;
  LineReader reader(text);
  Line line;
  while (reader.Next(line))
    if (line.kind == Kind::kSection) names.emplace_back(line.name);
  return names;
}

std::string QuoteValue(std::string_view value) {
  const bool blankEdge = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()));
  const bool quoted = value.size() >= 2 && value.front() == '"' && value.back() == '"';
  if (!blankEdge && !quoted) return std::string(value);
  return std::string("\"").append(value).append("\"");
}

std::string UnquoteValue(std::string_view stored) {
  if (stored.size() >= 2 && stored.front() == '"' && stored.back() == '"')
    stored = stored.substr(1, stored.size() - 2);
  return std::string(stored);
}

}  // namespace halvorn::ini

#include "profile/ini_text.h"

#include <cstddef>

namespace halvorn::ini {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

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

// One line of the text: [contentBegin, contentEnd) is what it says, [contentEnd,
// end) its line end (LF, CR LF, or nothing on a last line without one).
struct Line {
  size_t contentBegin;
  size_t contentEnd;
  size_t end;
};

enum class Kind { kOther, kSection, kKey };

struct ParsedLine {
  Line line;
  Kind kind;
  std::string_view name;  // section or key name, blanks trimmed
  size_t equals;          // offset of the '=' of a key line in the text, or npos
};

std::vector<ParsedLine> Parse(std::string_view text) {
  std::vector<ParsedLine> lines;
  size_t begin = text.starts_with(kUtf8Bom) ? kUtf8Bom.size() : 0;
  while (begin < text.size()) {
    size_t lf = text.find('\n', begin);
    size_t end = (lf == std::string_view::npos) ? text.size() : lf + 1;
    size_t contentEnd = (lf == std::string_view::npos) ? text.size() : lf;
    // A CR right before the LF (or ending the text) belongs to the line end.
    if (contentEnd > begin && text[contentEnd - 1] == '\r') --contentEnd;

    ParsedLine parsed{{begin, contentEnd, end}, Kind::kOther, {}, 0};
    std::string_view content = text.substr(begin, contentEnd - begin);
    std::string_view trimmed = TrimBlanks(content);
    if (trimmed.starts_with('[')) {
      std::string_view inside = trimmed.substr(1);
      size_t close = inside.find(']');
      parsed.kind = Kind::kSection;
      parsed.name = TrimBlanks(inside.substr(0, close));
    } else if (size_t eq = content.find('='); eq != std::string_view::npos) {
      parsed.kind = Kind::kKey;
      parsed.name = TrimBlanks(content.substr(0, eq));
      parsed.equals = begin + eq;
    } else if (!trimmed.empty()) {
      // Windows reads a line without "=" as a key with no value yet.
      parsed.kind = Kind::kKey;
      parsed.name = trimmed;
      parsed.equals = std::string_view::npos;
    }
    lines.push_back(parsed);
    begin = end;
  }
  return lines;
}

// Index of the first header naming the section, or lines.size().
size_t FindSection(const std::vector<ParsedLine>& lines, std::string_view section) {
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i].kind == Kind::kSection && SameName(lines[i].name, section)) return i;
  return lines.size();
}

// One past the last line of the section whose header is at index header.
size_t SectionEnd(const std::vector<ParsedLine>& lines, size_t header) {
  size_t i = header + 1;
  while (i < lines.size() && lines[i].kind != Kind::kSection) ++i;
  return i;
}

size_t FindKey(const std::vector<ParsedLine>& lines, size_t header, std::string_view key) {
  size_t end = SectionEnd(lines, header);
  for (size_t i = header + 1; i < end; ++i)
    if (lines[i].kind == Kind::kKey && SameName(lines[i].name, key)) return i;
  return lines.size();
}

// New lines follow the file: LF when its first line ends in a bare LF, CR LF
// otherwise (also for an empty file, as Windows writes it).
std::string_view LineEndOf(std::string_view text) {
  size_t lf = text.find('\n');
  if (lf != std::string_view::npos && (lf == 0 || text[lf - 1] != '\r')) return "\n";
  return "\r\n";
}

// Gives a last line without a line end its line end, before anything follows it.
void EndLastLine(std::string& text, std::string_view lineEnd) {
  if (text.empty() || text.back() == '\n') return;
  text.append(text.back() == '\r' ? "\n" : lineEnd);
}

}  // namespace

bool SetValue(std::string& text, std::string_view section, std::string_view key,
              std::string_view value) {
  // Blanks before a value are never read back, so they are not written, as
  // Windows does; else a second write of the same value would add them again.
  while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
  const std::vector<ParsedLine> lines = Parse(text);
  const std::string_view lineEnd = LineEndOf(text);
  std::string keyLine;
  keyLine.append(TrimBlanks(key)).append("=").append(value);

  size_t header = FindSection(lines, section);
  if (header == lines.size()) {
    EndLastLine(text, lineEnd);
    text.append("[").append(TrimBlanks(section)).append("]").append(lineEnd);
    text.append(keyLine).append(lineEnd);
    return true;
  }

  size_t found = FindKey(lines, header, key);
  if (found != lines.size()) {
    // Only the value changes: the key's spelling, the blanks before the value
    // and the line's own line end stay.
    const Line& line = lines[found].line;
    if (lines[found].equals == std::string_view::npos) {
      const std::string_view name = lines[found].name;
      text.insert(static_cast<size_t>(name.data() + name.size() - text.data()),
                  std::string("=").append(value));
      return true;
    }
    size_t valueBegin = lines[found].equals + 1;
    while (valueBegin < line.contentEnd && IsBlank(text[valueBegin])) ++valueBegin;
    std::string_view old = std::string_view(text).substr(valueBegin, line.contentEnd - valueBegin);
    if (old == value || TrimBlanks(old) == value) return false;
    text.replace(valueBegin, line.contentEnd - valueBegin, value);
    return true;
  }

  // A new key goes after the last non-blank line of its section, so blank
  // lines that separate it from the next section stay where they are.
  size_t last = header;
  size_t end = SectionEnd(lines, header);
  for (size_t i = header + 1; i < end; ++i) {
    const Line& line = lines[i].line;
    std::string_view content(text.data() + line.contentBegin, line.contentEnd - line.contentBegin);
    if (!TrimBlanks(content).empty()) last = i;
  }
  size_t insertAt = lines[last].line.end;
  if (insertAt == text.size()) {
    EndLastLine(text, lineEnd);
    insertAt = text.size();
  }
  keyLine.append(lineEnd);
  text.insert(insertAt, keyLine);
  return true;
}

std::optional<std::string> GetValue(std::string_view text, std::string_view section,
                                    std::string_view key) {
  const std::vector<ParsedLine> lines = Parse(text);
  size_t header = FindSection(lines, section);
  if (header == lines.size()) return std::nullopt;
  size_t found = FindKey(lines, header, key);
  if (found == lines.size()) return std::nullopt;
  if (lines[found].equals == std::string_view::npos) return std::string();
  size_t valueBegin = lines[found].equals + 1;
  return std::string(
      TrimBlanks(text.substr(valueBegin, lines[found].line.contentEnd - valueBegin)));
}

bool HasSection(std::string_view text, std::string_view section) {
  const std::vector<ParsedLine> lines = Parse(text);
  return FindSection(lines, section) != lines.size();
}

std::vector<std::string> SectionNames(std::string_view text) {
  std::vector<std::string> names;
  for (const ParsedLine& line : Parse(text))
    if (line.kind == Kind::kSection) names.emplace_back(line.name);
  return names;
}

}  // namespace halvorn::ini

// One key write into arbitrary file bytes. Every line the write does not
// touch keeps its bytes, the key then reads back with the value written, and
// a second identical write changes nothing.
#include <string>

#include "fuzz_input.h"
#include "profile/ini_text.h"

namespace {

using halvorn::fuzzing::Check;
using halvorn::fuzzing::SplitInput;

bool HasLineEnd(std::string_view text) { return text.find_first_of("\r\n") != text.npos; }

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == text.npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// What the profile writer lets through to the INI rules.
bool Writable(std::string_view section, std::string_view key, std::string_view value) {
  const std::string_view trimmedKey = Trim(key);
  return !HasLineEnd(section) && !HasLineEnd(key) && !HasLineEnd(value) &&
         section.find(']') == section.npos && key.find('=') == key.npos && !trimmedKey.empty() &&
         trimmedKey.front() != ';' && trimmedKey.front() != '[';
}

// The lines of a text without their line ends (a last line end adds no line).
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    size_t lf = text.find('\n');
    std::string_view line = text.substr(0, lf);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    text.remove_prefix(lf == text.npos ? text.size() : lf + 1);
  }
  return lines;
}

// Where line index of the text starts (the text's size past its last line).
size_t LineStart(std::string_view text, size_t index) {
  size_t offset = 0;
  for (size_t i = 0; i < index && offset < text.size(); ++i) {
    const size_t lf = text.find('\n', offset);
    offset = lf == text.npos ? text.size() : lf + 1;
  }
  return offset;
}


}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto parts = SplitInput(data, size, 4);
  const std::string_view section = parts[0], key = parts[1], value = parts[2];
  if (!Writable(section, key, value)) return 0;
  const std::string before(parts[3]);
  std::string text = before;
  halvorn::ini::SetValue(text, section, key, value);

  Check(halvorn::ini::GetValue(text, section, key) == std::string(Trim(value)));

  // The lines before and after the changed place are the same lines; at most
  // one line was replaced, and at most a header and a key line were added.
  const auto old = Lines(before), now = Lines(text);
  size_t head = 0;
  while (head < old.size() && head < now.size() && old[head] == now[head]) ++head;
  size_t tail = 0;
  while (tail < old.size() - head && tail < now.size() - head &&
         old[old.size() - 1 - tail] == now[now.size() - 1 - tail])
    ++tail;
  Check(old.size() - head - tail <= 1 && now.size() - head - tail <= 2);
  // Bytes of untouched lines stay: all before the first changed line, and
  // all from the first line of the unchanged end on.
  Check(text.compare(0, LineStart(before, head), before, 0, LineStart(before, head)) == 0);
  const size_t oldTail = before.size() - LineStart(before, old.size() - tail);
  Check(tail == 0 || text.compare(text.size() - oldTail, oldTail, before, before.size() - oldTail) == 0);

  const std::string once = text;
  Check(!halvorn::ini::SetValue(text, section, key, value));
  Check(text == once);
  return 0;
}

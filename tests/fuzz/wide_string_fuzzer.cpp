// WideString operations on arbitrary texts. The input's first three bytes are
// the lengths (in units, 0-7) of a search text, its replacement and a set; the
// rest is UTF-16LE units: those three, then the string. Every operation ends,
// and the results keep the promises their callers rely on.
#include <string>

#include "fuzz_input.h"
#include "text/code_page.h"
#include "text/wide_string.h"

namespace {

using halvorn::WideString;
using halvorn::fuzzing::Check;

// The next count units of the input; a NUL ends every text the operations take.
std::u16string Take(const uint8_t*& data, size_t& size, size_t count) {
  std::u16string units;
  for (; count > 0 && size >= 2; --count, data += 2, size -= 2)
    units.push_back(static_cast<char16_t>(data[0] | data[1] << 8));
  return units.substr(0, units.find(u'\0'));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static halvorn::Utf8CodePage utf8;
  halvorn::InstallCodePage(&utf8);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const size_t lengths[] = {data[0] % 8u, data[1] % 8u, data[2] % 8u};
  const std::string narrowText(reinterpret_cast<const char*>(data) + 3, size - 3);
  data += 3;
  size -= 3;
  const std::u16string oldText = Take(data, size, lengths[0]), newText = Take(data, size, lengths[1]),
                       set = Take(data, size, lengths[2]), text = Take(data, size, size);
  WideString s(text.c_str());
  const int32_t count = s.Replace(oldText.c_str(), newText.c_str());
  Check(count >= 0);
  if (!oldText.empty() && count == 0) Check(s.View() == text);
  s.TrimRight(set.c_str()).TrimLeft(set.c_str());
  if (!s.IsEmpty() && !set.empty()) {
    Check(set.find(s.View().front()) == std::u16string::npos);
    Check(set.find(s.View().back()) == std::u16string::npos);
  }
  s.MakeUpper();
  int32_t position = 0;
  for (int guard = 0; position >= 0; ++guard) {
    Check(guard <= static_cast<int>(text.size()) + 1);
    const WideString token = WideString(text.c_str()).Tokenize(set.c_str(), position);
    if (position >= 0) Check(!token.IsEmpty());
  }
  WideString narrow;
  narrow.AssignNarrow(narrowText.c_str());
  narrow.Append(text.c_str());
  narrow.Equals("OK");
  return 0;
}

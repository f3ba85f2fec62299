// Helpers of the fuzz targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace halvorn::fuzzing {

// A broken invariant is a finding: libFuzzer saves the input.
inline void Check(bool condition) {
  if (!condition) std::abort();
}

// Splits an input into parts at NUL bytes: the first parts name what an
// operation works with, the last is the text it works on.
inline std::vector<std::string_view> SplitInput(const uint8_t* data, size_t size, size_t parts) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> out;
  while (out.size() + 1 < parts) {
    const size_t nul = rest.find('\0');
    if (nul == std::string_view::npos) break;
    out.push_back(rest.substr(0, nul));
    rest.remove_prefix(nul + 1);
  }
  out.resize(parts - 1);
  out.push_back(rest);
  return out;
}

}  // namespace halvorn::fuzzing

// UTF-8 <-> UTF-16: valid text makes the round trip unchanged, anything else
// converts without a crash; the command line's decoding keeps every byte and
// shows exactly the text that was not UTF-8; the profile files' lossless
// UTF-16 form of any bytes converts back to the same bytes.
#include <string>

#include "fuzz_input.h"
#include "profile/file_encoding.h"
#include "text/code_page.h"
#include "text/utf8.h"

using halvorn::fuzzing::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  halvorn::Utf8CodePage utf8;
  const int length = static_cast<int>(bytes.size());
  const int wideSize = utf8.ToWide(0, bytes.data(), length, nullptr, 0);
  std::u16string wide(static_cast<size_t>(wideSize), u'\0');
  Check(utf8.ToWide(0, bytes.data(), length, wide.data(), wideSize) == wideSize);
  const int narrowSize = utf8.ToNarrow(0, wide.data(), wideSize, nullptr, 0);
  std::string narrow(static_cast<size_t>(narrowSize), '\0');
  Check(utf8.ToNarrow(0, wide.data(), wideSize, narrow.data(), narrowSize) == narrowSize);
  // Invalid bytes became U+FFFD; converting that result again is stable.
  if (wide.find(u'\uFFFD') == std::u16string::npos) Check(narrow == bytes);

  const std::u16string kept = halvorn::DecodeUtf8KeepingBytes(bytes);
  Check(halvorn::EncodeUtf8(kept) == bytes);
  Check(halvorn::HasLoneSurrogate(kept) == (halvorn::EncodeUtf8(halvorn::DecodeUtf8(bytes)) != bytes));

  // The same bytes read as UTF-16 units, with lone surrogates among them.
  std::u16string units(size / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  const int fromUnits = utf8.ToNarrow(0, units.data(), static_cast<int>(units.size()), nullptr, 0);
  std::string out(static_cast<size_t>(fromUnits), '\0');
  utf8.ToNarrow(0, units.data(), static_cast<int>(units.size()), out.data(), fromUnits);

  const std::string loose = halvorn::ini::Utf16LeToLooseUtf8(bytes);
  Check(halvorn::ini::LooseUtf8ToUtf16Le(loose) == bytes.substr(0, size - size % 2));
  halvorn::ini::LooseUtf8ToUtf16Le(bytes);  // any bytes, not only its own form
  return 0;
}

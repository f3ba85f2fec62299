#include "text/narrow_copy.h"

#include <string>

#include "text/code_page.h"
#include "text/wide_string.h"

namespace halvorn {

NarrowCopy::NarrowCopy(const char16_t* source, uint32_t codePage) {
  if (source == nullptr) return;
  const size_t units = std::char_traits<char16_t>::length(source) + 1;
  if (units > static_cast<size_t>(WideString::kMaxLength) / 4)
    throw std::invalid_argument("text too long to narrow");
  const int unitCount = static_cast<int>(units);
  int capacity = unitCount * 4;
  Reserve(static_cast<size_t>(capacity));

  CodePage& converter = ActiveCodePage();
  if (converter.ToNarrow(codePage, source, unitCount, m_pText, capacity) != 0) return;

  uint32_t error = converter.LastError();
  if (error == kErrorInsufficientBuffer) {
    capacity = converter.ToNarrow(codePage, source, unitCount, nullptr, 0);
    if (capacity > 0) {
      Reserve(static_cast<size_t>(capacity));
      if (converter.ToNarrow(codePage, source, unitCount, m_pText, capacity) != 0) return;
    }
    error = converter.LastError();
  }
  throw TextConversionError(HResultFromWin32(error));
}

void NarrowCopy::Reserve(size_t capacity) {
  if (capacity <= kInlineCapacity) {
    m_pHeap.reset();
    m_pText = m_szInline;
    return;
  }
  m_pHeap = std::make_unique<char[]>(capacity);  // value-initialised: zero-filled
  m_pText = m_pHeap.get();
}

}  // namespace halvorn

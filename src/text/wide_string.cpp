#include "text/wide_string.h"

#include <algorithm>

#include "text/code_page.h"

namespace halvorn {

namespace {

std::u16string_view ViewOf(const char16_t* text) {
  return text == nullptr ? std::u16string_view() : std::u16string_view(text);
}

bool InSet(std::u16string_view set, char16_t unit) {
  return set.find(unit) != std::u16string_view::npos;
}

}  // namespace

uint32_t HResultFromWin32(uint32_t error) {
  return static_cast<int32_t>(error) > 0 ? (0x80070000u | (error & 0xFFFFu)) : error;
}

WideString::WideString(const char16_t* text) : m_strUnits(ViewOf(text)) {}

WideString::WideString(const char* narrow) { AssignNarrow(narrow); }

WideString::WideString(std::u16string_view text) : m_strUnits(text) {}

WideString& WideString::Append(const char16_t* text) {
  const std::u16string_view tail = ViewOf(text);
  if (tail.empty()) return *this;
  if (tail.size() > static_cast<size_t>(kMaxLength) - m_strUnits.size())
    throw std::invalid_argument("string too long");
  m_strUnits.append(tail);
  return *this;
}

WideString& WideString::AssignNarrow(const char* narrow) {
  return AssignNarrow(narrow, ActiveCodePage());
}

WideString& WideString::AssignNarrow(const char* narrow, CodePage& codePage) {
  if (narrow == nullptr) {
    m_strUnits.clear();
    return *this;
  }
  const int needed = codePage.ToWide(kThreadAnsiCodePage, narrow, -1, nullptr, 0) - 1;
  if (needed < 1) {
    m_strUnits.clear();
    return *this;
  }
  std::u16string converted(static_cast<size_t>(needed) + 1, u'\0');
  const int written =
      codePage.ToWide(kThreadAnsiCodePage, narrow, -1, converted.data(), needed + 1);
  converted.resize(written > 0 ? std::min(static_cast<size_t>(written - 1), converted.size()) : 0);
  m_strUnits = std::move(converted);
  return *this;
}

int32_t WideString::Replace(const char16_t* oldText, const char16_t* newText) {
  const std::u16string_view from = ViewOf(oldText);
  const std::u16string_view to = ViewOf(newText);
  if (from.empty()) return 0;

  int32_t count = 0;
  for (size_t at = m_strUnits.find(from); at != std::u16string::npos;
       at = m_strUnits.find(from, at + from.size()))
    ++count;
  if (count == 0) return 0;

  const int64_t newLength = static_cast<int64_t>(m_strUnits.size()) +
                            (static_cast<int64_t>(to.size()) - static_cast<int64_t>(from.size())) * count;
  if (newLength > kMaxLength) throw std::invalid_argument("string too long");

  std::u16string result;
  result.reserve(static_cast<size_t>(newLength));
  size_t copiedUpTo = 0;
  for (size_t at = m_strUnits.find(from); at != std::u16string::npos;
       at = m_strUnits.find(from, copiedUpTo)) {
    result.append(m_strUnits, copiedUpTo, at - copiedUpTo);
    result.append(to);
    copiedUpTo = at + from.size();
  }
  result.append(m_strUnits, copiedUpTo);
  m_strUnits = std::move(result);
  return count;
}

WideString& WideString::TrimRight(const char16_t* set) {
  const std::u16string_view members = ViewOf(set);
  if (members.empty()) return *this;
  size_t end = m_strUnits.size();
  while (end > 0 && InSet(members, m_strUnits[end - 1])) --end;
  m_strUnits.erase(end);
  return *this;
}

WideString& WideString::TrimLeft(const char16_t* set) {
  const std::u16string_view members = ViewOf(set);
  if (members.empty()) return *this;
  size_t begin = 0;
  while (begin < m_strUnits.size() && InSet(members, m_strUnits[begin])) ++begin;
  m_strUnits.erase(0, begin);
  return *this;
}

WideString& WideString::MakeUpper() {
  for (char16_t& unit : m_strUnits)
    if (unit >= u'a' && unit <= u'z') unit = static_cast<char16_t>(unit - 32);
  return *this;
}

WideString WideString::Tokenize(const char16_t* delimiters, int32_t& position) const {
  if (position < 0) throw std::invalid_argument("negative token position");
  const std::u16string_view set = ViewOf(delimiters);
  const int32_t length = GetLength();
  if (position < length) {
    int32_t start = position;
    while (start < length && InSet(set, m_strUnits[static_cast<size_t>(start)])) ++start;
    if (start < length) {
      int32_t end = start;
      while (end < length && !InSet(set, m_strUnits[static_cast<size_t>(end)])) ++end;
      position = end + 1;
      return WideString(std::u16string_view(m_strUnits).substr(static_cast<size_t>(start),
                                                            static_cast<size_t>(end - start)));
    }
  }
  position = -1;
  return WideString();
}

bool WideString::Equals(const char* literal) const {
  return WideString(literal).m_strUnits == m_strUnits;
}

}  // namespace halvorn

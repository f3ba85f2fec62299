#include "dialup/shortcut/connection_item.h"

#include <cstring>

namespace halvorn {

namespace {

constexpr size_t kItemPrefix = 2 + sizeof kConnectionItemSignature + 2;

void PutItem(std::string& list, unsigned char type, unsigned char sortIndex,
             const unsigned char (&guid)[16]) {
  list += {20, 0, static_cast<char>(type), static_cast<char>(sortIndex)};
  list.append(reinterpret_cast<const char*>(guid), 16);
}

}  // namespace

std::string ConnectionsFolderList() {
  // GUIDs in their stored byte order (first three fields little-endian).
  static constexpr unsigned char kMyComputer[16] = {0xE0, 0x4F, 0xD0, 0x20, 0xEA, 0x3A, 0x69, 0x10,
                                                    0xA2, 0xD8, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D};
  static constexpr unsigned char kControlPanel[16] = {0x20, 0x20, 0xEC, 0x21, 0xEA, 0x3A,
                                                      0x69, 0x10, 0xA2, 0xDD, 0x08, 0x00,
                                                      0x2B, 0x30, 0x30, 0x9D};
  static constexpr unsigned char kNetworkConnections[16] = {0xC7, 0xAC, 0x07, 0x70, 0x02, 0x32,
                                                            0xD1, 0x11, 0xAA, 0xD2, 0x00, 0x80,
                                                            0x5F, 0xC1, 0x27, 0x0E};
  std::string list;
  PutItem(list, 0x1F, 0x50, kMyComputer);
  PutItem(list, 0x2E, 0x00, kControlPanel);
  PutItem(list, 0x2E, 0x00, kNetworkConnections);
  list.append(2, '\0');
  return list;
}

std::optional<std::string> ConnectionItemList(std::u16string_view entryName) {
  const size_t itemSize = kItemPrefix + 2 * (entryName.size() + 1);
  if (itemSize > 0xFFFF) return std::nullopt;
  std::string list;
  list += {static_cast<char>(itemSize & 0xFF), static_cast<char>(itemSize >> 8)};
  list.append(kConnectionItemSignature, sizeof kConnectionItemSignature);
  list += {static_cast<char>(kConnectionItemVersion & 0xFF),
           static_cast<char>(kConnectionItemVersion >> 8)};
  for (char16_t unit : entryName) list += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  list.append(2, '\0');  // the name's terminator
  list.append(2, '\0');  // the list's terminator
  return list;
}

std::optional<std::u16string> ConnectionItemName(const ItemIdList* item) {
  if (item == nullptr) return std::nullopt;
  const size_t itemSize = static_cast<size_t>(item[0]) | (static_cast<size_t>(item[1]) << 8);
  if (itemSize < kItemPrefix + 2 || (itemSize - kItemPrefix) % 2 != 0) return std::nullopt;
  if (std::memcmp(item + 2, kConnectionItemSignature, sizeof kConnectionItemSignature) != 0)
    return std::nullopt;
  const uint16_t version = static_cast<uint16_t>(item[6] | (item[7] << 8));
  if (version != kConnectionItemVersion) return std::nullopt;

  std::u16string name;
  for (size_t at = kItemPrefix; at + 2 <= itemSize; at += 2) {
    const auto unit = static_cast<char16_t>(item[at] | (item[at + 1] << 8));
    if (unit == 0) return at + 2 == itemSize ? std::optional<std::u16string>(name) : std::nullopt;
    name.push_back(unit);
  }
  return std::nullopt;  // no terminator inside the item
}

}  // namespace halvorn

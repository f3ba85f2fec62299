#include "dialup/shell_link_file.h"

#include "dialup/item_id_list.h"

namespace halvorn {

namespace {

// CLSID 00021401-0000-0000-C000-000000000046 in its stored byte order.
constexpr unsigned char kShellLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                               0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

void PutLittleEndian(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

std::optional<std::string> BuildShellLinkFile(const ItemIdList* target, uint16_t hotkey,
                                              int32_t showCommand) {
  const uint32_t listSize = IdListSize(target);
  if (listSize == 0 || listSize > 0xFFFF) return std::nullopt;

  std::string file;
  file.reserve(kLinkHeaderSize + 2 + listSize + 4);
  PutLittleEndian(file, kLinkHeaderSize, 4);
  file.append(reinterpret_cast<const char*>(kShellLinkClsid), sizeof kShellLinkClsid);
  PutLittleEndian(file, kLinkHasTargetIdList | kLinkIsUnicode, 4);
  PutLittleEndian(file, 0, 4);  // file attributes
  file.append(24, '\0');        // creation, access and write times
  PutLittleEndian(file, 0, 4);  // file size
  PutLittleEndian(file, 0, 4);  // icon index
  PutLittleEndian(file, static_cast<uint32_t>(showCommand), 4);
  PutLittleEndian(file, hotkey, 2);
  file.append(10, '\0');  // reserved

  PutLittleEndian(file, listSize, 2);
  file.append(reinterpret_cast<const char*>(target), listSize);
  PutLittleEndian(file, 0, 4);  // terminal block
  return file;
}

}  // namespace halvorn

// The bytes of a shell link (.lnk) file whose target is an item identifier
// list, in the published Shell Link Binary File Format: the 76-byte header,
// the LinkTargetIDList structure and the terminal extra-data block. All
// numbers little-endian.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "dialup/shell.h"

namespace halvorn {

inline constexpr uint32_t kLinkHeaderSize = 0x4C;
inline constexpr uint32_t kLinkHasTargetIdList = 0x00000001;
inline constexpr uint32_t kLinkIsUnicode = 0x00000080;

// None when the list does not fit the format's 16-bit size field.
std::optional<std::string> BuildShellLinkFile(const ItemIdList* target, uint16_t hotkey,
                                              int32_t showCommand);

}  // namespace halvorn

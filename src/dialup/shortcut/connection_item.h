// The project's own identifier lists for the Network Connections folder, used
// where the platform has no shell of its own.
//
// The folder's absolute list is My Computer, Control Panel, Network
// Connections, as the Windows shell spells them:
//   [14 00] 1F 50 {20D04FE0-3AEA-1069-A2D8-08002B30309D}
//   [14 00] 2E 00 {21EC2020-3AEA-1069-A2DD-08002B30309D}
//   [14 00] 2E 00 {7007ACC7-3202-11D1-AAD2-00805FC1270E}
//   [00 00]
// One connection is one item, relative to that folder:
//   [count: 2 bytes] "HVNC" (signature) [version: 01 00]
//   entry name in UTF-16LE, then 00 00 (its terminator), then the list's 00 00
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "dialup/shortcut/shell.h"

namespace halvorn {

inline constexpr char kConnectionItemSignature[4] = {'H', 'V', 'N', 'C'};
inline constexpr uint16_t kConnectionItemVersion = 1;

// The folder's list, terminator included.
std::string ConnectionsFolderList();

// A one-item list for entryName, terminator included; none when the item
// would not fit its 16-bit count.
std::optional<std::string> ConnectionItemList(std::u16string_view entryName);

// The entry name of a connection item; none for any other item.
std::optional<std::u16string> ConnectionItemName(const ItemIdList* item);

}  // namespace halvorn

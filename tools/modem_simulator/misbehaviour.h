// What a misbehaving modem sends: line noise, a long register dump, lower
// case. No I/O here.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>

namespace modem_simulator {

// Line noise as a receiver at the wrong speed makes of a character: high
// bytes, never a flow-control character or NUL, the same every run.
inline std::string MakeGarbage(size_t nLength) {
  std::string strOut;
  uint32_t nState = 0x2545F491u;
  for (size_t i = 0; i < std::max<size_t>(nLength, 4); ++i) {
    nState = nState * 1103515245u + 12345u;
    strOut += static_cast<char>(0x80 | ((nState >> 16) & 0x7F));
  }
  return strOut;
}

// A long but believable register dump, at least nBytes long.
inline std::string MakeFlood(long nBytes) {
  std::string strOut;
  for (int nRow = 0; static_cast<long>(strOut.size()) < nBytes; ++nRow) {
    if (!strOut.empty()) strOut += "\r\n";
    char szRow[96];
    std::snprintf(szRow, sizeof szRow, "S%02d=%03d S%02d=%03d S%02d=%03d S%02d=%03d S%02d=%03d S%02d=%03d",
                  nRow * 6 % 100, nRow % 256, (nRow * 6 + 1) % 100, 13, (nRow * 6 + 2) % 100, 10,
                  (nRow * 6 + 3) % 100, 8, (nRow * 6 + 4) % 100, 2, (nRow * 6 + 5) % 100, 50);
    strOut += szRow;
  }
  return strOut;
}

inline std::string LowerAscii(std::string strText) {
  for (char& ch : strText) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return strText;
}

}  // namespace modem_simulator

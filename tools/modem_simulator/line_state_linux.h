// What the other side of the pseudo-terminal has set on the line, read with
// TCGETS2 so that speeds without a Bxxx constant (14400, 28800, 33600) show
// as they were set. The kernel's own termios definitions are used here, so
// this header must not meet <termios.h> in the same translation unit.
#pragma once

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdint>
#include <string>

namespace modem_simulator {

struct SLineState {
  uint32_t m_nOutputSpeed = 0;  // the speed the other side sends at
  uint32_t m_nInputSpeed = 0;   // the speed it receives at
  std::string m_strFrame;       // e.g. 8N1
  std::string m_strFlow;        // e.g. ixon,ixoff or none
  std::string m_strDiscipline;  // processing flags that are on, or raw
};

inline uint32_t DecodeSpeed(unsigned nBits, unsigned nExplicit) {
  struct SPair {
    unsigned nBits;
    uint32_t nSpeed;
  };
  static const SPair arrTable[] = {
      {B0, 0},           {B50, 50},         {B75, 75},           {B110, 110},         {B134, 134},
      {B150, 150},       {B200, 200},       {B300, 300},         {B600, 600},         {B1200, 1200},
      {B1800, 1800},     {B2400, 2400},     {B4800, 4800},       {B9600, 9600},       {B19200, 19200},
      {B38400, 38400},   {B57600, 57600},   {B115200, 115200},   {B230400, 230400},   {B460800, 460800},
      {B500000, 500000}, {B576000, 576000}, {B921600, 921600},   {B1000000, 1000000}, {B1152000, 1152000},
      {B1500000, 1500000}, {B2000000, 2000000}, {B2500000, 2500000}, {B3000000, 3000000},
      {B3500000, 3500000}, {B4000000, 4000000},
  };
  if (nBits == BOTHER) return nExplicit;
  for (const SPair& pair : arrTable)
    if (pair.nBits == nBits) return pair.nSpeed;
  return nExplicit;
}

inline void AppendFlag(std::string& strList, bool bOn, const char* pszName) {
  if (!bOn) return;
  if (!strList.empty()) strList += ',';
  strList += pszName;
}

inline bool ReadLineState(int fdSlave, SLineState& state) {
  struct termios2 tio {};
  if (ioctl(fdSlave, TCGETS2, &tio) != 0) return false;
  state.m_nOutputSpeed = DecodeSpeed(tio.c_cflag & CBAUD, tio.c_ospeed);
  unsigned nInputBits = (tio.c_cflag >> IBSHIFT) & CBAUD;
  // No input speed of its own means: the same as the output speed.
  state.m_nInputSpeed = nInputBits == B0 ? state.m_nOutputSpeed : DecodeSpeed(nInputBits, tio.c_ispeed);

  unsigned nSize = tio.c_cflag & CSIZE;
  char chBits = nSize == CS5 ? '5' : nSize == CS6 ? '6' : nSize == CS7 ? '7' : '8';
  char chParity = !(tio.c_cflag & PARENB) ? 'N' : (tio.c_cflag & PARODD) ? 'O' : 'E';
  state.m_strFrame = {chBits, chParity, (tio.c_cflag & CSTOPB) ? '2' : '1'};

  state.m_strFlow.clear();
  AppendFlag(state.m_strFlow, tio.c_iflag & IXON, "ixon");
  AppendFlag(state.m_strFlow, tio.c_iflag & IXOFF, "ixoff");
  AppendFlag(state.m_strFlow, tio.c_iflag & IXANY, "ixany");
  AppendFlag(state.m_strFlow, tio.c_cflag & CRTSCTS, "crtscts");
  if (state.m_strFlow.empty()) state.m_strFlow = "none";

  state.m_strDiscipline.clear();
  AppendFlag(state.m_strDiscipline, tio.c_lflag & ICANON, "icanon");
  AppendFlag(state.m_strDiscipline, tio.c_lflag & ECHO, "echo");
  AppendFlag(state.m_strDiscipline, tio.c_lflag & ISIG, "isig");
  AppendFlag(state.m_strDiscipline, tio.c_lflag & IEXTEN, "iexten");
  AppendFlag(state.m_strDiscipline, tio.c_oflag & OPOST, "opost");
  AppendFlag(state.m_strDiscipline, tio.c_iflag & ICRNL, "icrnl");
  AppendFlag(state.m_strDiscipline, tio.c_iflag & INLCR, "inlcr");
  AppendFlag(state.m_strDiscipline, tio.c_iflag & IGNCR, "igncr");
  AppendFlag(state.m_strDiscipline, tio.c_iflag & ISTRIP, "istrip");
  if (state.m_strDiscipline.empty()) state.m_strDiscipline = "raw";
  return true;
}

// Drops what the modem sent but nobody read: a real port that is closed
// receives nothing.
inline void DiscardSlaveInput(int fdSlave) { ioctl(fdSlave, TCFLSH, TCIFLUSH); }

// Ends the exclusive mode a closed user may have left on the line (the
// kernel would clear it at the last close, but this program keeps the
// slave open).
inline void ClearExclusive(int fdSlave) { ioctl(fdSlave, TIOCNXCL); }

}  // namespace modem_simulator

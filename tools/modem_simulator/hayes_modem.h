// The command interpreter of the simulated modem: the Hayes command set as a
// plain 56k data/fax modem answers it, without any I/O. It takes the text of
// one command line after its "AT" prefix and gives back the bytes the modem
// would send, framed by the verbose (V1) or numeric (V0) rules.
#pragma once

#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <utility>

namespace modem_simulator {

enum class ECallRequest { None, HangUp, Online };

enum class EResult { Ok = 0, Connect = 1, Ring = 2, NoCarrier = 3, Error = 4, NoDialtone = 6, Busy = 7, NoAnswer = 8 };

inline const char* VerboseResult(EResult eResult) {
  switch (eResult) {
    case EResult::Ok: return "OK";
    case EResult::Connect: return "CONNECT";
    case EResult::Ring: return "RING";
    case EResult::NoCarrier: return "NO CARRIER";
    case EResult::Error: return "ERROR";
    case EResult::NoDialtone: return "NO DIALTONE";
    case EResult::Busy: return "BUSY";
    case EResult::NoAnswer: return "NO ANSWER";
  }
  return "ERROR";
}

// Information texts by command key: "I0".."I7", "+GMI", "+FCLASS=?", ...
// Lines of a multi-line text are separated by CR LF. An empty text means the
// command answers with its result code alone.
inline std::map<std::string, std::string> DefaultInfoTexts() {
  const std::string strMaker = "NORDKAPP DATACOM";
  const std::string strModel = "NK-5600 V.92 Data/Fax Modem";
  const std::string strRevision = "2.41.07";
  const std::string strSerial = "NK0416220375";
  return {
      {"I0", "56000"},
      {"I1", "062"},
      {"I2", ""},
      {"I3", "V2.41.07-K56_V92_DLS"},
      {"I4", "a007080284C6002F\r\nbC60000000\r\nr1031111111010000\r\nr3000111010000000"},
      {"I5", "B5"},
      {"I6", "Data pump CX93001-EIS, ROM 2.41.07, line interface DAA-3"},
      {"I7", strMaker + " " + strModel + "\r\nSerial " + strSerial},
      {"+GMI", strMaker},
      {"+GMM", strModel},
      {"+GMR", strRevision},
      {"+GSN", strSerial},
      {"+CGMI", strMaker},
      {"+CGMM", strModel},
      {"+CGMR", strRevision},
      {"+CGSN", strSerial},
      {"+GCAP", "+GCAP: +FCLASS, +MS, +ES, +DS"},
      {"+FCLASS=?", "0,1,8"},
      {"+IPR=?", "(0,300,1200,2400,4800,9600,19200,38400,57600,115200),()"},
  };
}

class CHayesModem {
 public:
  CHayesModem() : m_mapInfo(DefaultInfoTexts()) { Reset(); }

  void SetInfoText(const std::string& strKey, const std::string& strText) { m_mapInfo[strKey] = strText; }

  // The stored profile: commands run at power-on and again by ATZ, as a
  // modem restores its stored settings. False when they are no valid line.
  bool SetStoredProfile(const std::string& strCommands) {
    m_strStoredProfile = strCommands;
    ExecuteLine(strCommands);
    return m_eLastResult == EResult::Ok;
  }

  // What dialling ends with (CONNECT by default, or BUSY, NO CARRIER, NO
  // DIALTONE), and the line speed CONNECT reports.
  void SetDialResult(EResult eResult) { m_eDialResult = eResult; }
  void SetLineSpeed(uint32_t nSpeed) { m_nLineSpeed = nSpeed; }
  // The dial string of the last ATD, once; empty when none came since.
  std::string TakeDialled() { return std::exchange(m_strDialled, std::string()); }

  bool IsEchoOn() const { return m_bEcho; }
  // S2 is the escape character (+) and S12 the guard time around +++, in
  // fiftieths of a second.
  char GetEscapeChar() const { return static_cast<char>(m_arrRegisters[2]); }
  int64_t GetGuardMs() const { return m_arrRegisters[12] * 20; }

  // While a call is held in online command mode, ATO goes back online
  // (CONNECT) and ATH hangs up; without a call ATO finds NO CARRIER.
  void SetCallUp(bool bUp) { m_bCallUp = bUp; }
  ECallRequest TakeCallRequest() { return std::exchange(m_eCallRequest, ECallRequest::None); }
  // S3 ends a command line; S4 follows it in framed replies.
  char GetLineEnd() const { return static_cast<char>(m_arrRegisters[3]); }

  // Runs the commands of one line (the text after "AT", without its line
  // end) and returns the whole framed answer: the information texts of the
  // commands that ran, then one result code. The first failing command ends
  // the line with ERROR; the commands before it keep their effect.
  std::string ExecuteLine(const std::string& strBody) {
    std::string strAnswer;
    m_nPos = 0;
    m_pBody = &strBody;
    EResult eResult = EResult::Ok;
    bool bAfterExtended = false;
    while (m_nPos < strBody.size()) {
      char ch = Upper(strBody[m_nPos]);
      if (ch == ' ' || (ch == ';' && bAfterExtended)) {
        ++m_nPos;
        continue;
      }
      // A semicolon separates extended commands only; after a basic
      // command (ATI0;ATI1) it is an error.
      bAfterExtended = ch == '+';
      if (ch == ';' || !ExecuteOne(strAnswer, eResult)) {
        eResult = EResult::Error;
        break;
      }
      if (eResult != EResult::Ok) break;  // dialling and friends end the line
    }
    m_pBody = nullptr;
    m_eLastResult = eResult;
    return strAnswer + FrameResult(eResult);
  }

  EResult LastResult() const { return m_eLastResult; }

  std::string FrameInfo(const std::string& strText) const {
    const std::string strEol = LineEnd();
    std::string strLines = ReplaceLineEnds(strText, strEol);
    return m_bVerbose ? strEol + strLines + strEol : strLines + strEol;
  }

  std::string FrameResult(EResult eResult) const {
    if (m_bQuiet) return "";
    if (!m_bVerbose) return std::to_string(static_cast<int>(eResult)) + static_cast<char>(m_arrRegisters[3]);
    std::string strText = VerboseResult(eResult);
    if (eResult == EResult::Connect && m_nLineSpeed != 0) strText += " " + std::to_string(m_nLineSpeed);
    return LineEnd() + strText + LineEnd();
  }

 private:
  void Reset() {
    m_bEcho = true;
    m_bQuiet = false;
    m_bVerbose = true;
    m_nFaxClass = 0;
    m_arrRegisters.fill(0);
    m_arrRegisters[2] = 43;
    m_arrRegisters[3] = 13;
    m_arrRegisters[4] = 10;
    m_arrRegisters[5] = 8;
    m_arrRegisters[6] = 2;
    m_arrRegisters[7] = 50;
    m_arrRegisters[8] = 2;
    m_arrRegisters[10] = 14;
    m_arrRegisters[12] = 50;
  }

  std::string LineEnd() const {
    return {static_cast<char>(m_arrRegisters[3]), static_cast<char>(m_arrRegisters[4])};
  }

  static std::string ReplaceLineEnds(const std::string& strText, const std::string& strEol) {
    std::string strOut;
    for (size_t i = 0; i < strText.size(); ++i) {
      if (strText.compare(i, 2, "\r\n") == 0) {
        strOut += strEol;
        ++i;
      } else {
        strOut += strText[i];
      }
    }
    return strOut;
  }

  static char Upper(char ch) { return static_cast<char>(std::toupper(static_cast<unsigned char>(ch))); }

  bool AtEnd() const { return m_nPos >= m_pBody->size(); }
  char Peek() const { return AtEnd() ? '\0' : Upper((*m_pBody)[m_nPos]); }

  // Reads an optional decimal number; a missing number counts as 0.
  long ReadNumber() {
    long nValue = 0;
    int nDigits = 0;
    while (!AtEnd() && std::isdigit(static_cast<unsigned char>(Peek())) && nDigits < 6) {
      nValue = nValue * 10 + (Peek() - '0');
      ++m_nPos;
      ++nDigits;
    }
    return nValue;
  }

  void AppendInfo(std::string& strAnswer, const std::string& strKey) {
    auto it = m_mapInfo.find(strKey);
    if (it != m_mapInfo.end() && !it->second.empty()) strAnswer += FrameInfo(it->second);
  }

  bool ExecuteOne(std::string& strAnswer, EResult& eResult) {
    char ch = Peek();
    ++m_nPos;
    if (ch == '+') return ExecuteExtended(strAnswer);
    if (ch == '&' || ch == '\\' || ch == '%') {
      char chName = Peek();
      if (!std::isalpha(static_cast<unsigned char>(chName))) return false;
      ++m_nPos;
      long nValue = ReadNumber();
      if (ch == '&' && chName == 'F') Reset();
      return nValue <= 9;
    }
    if (ch == 'S') return ExecuteRegister(strAnswer);
    if (ch == 'D') {
      if (m_bCallUp) return false;  // a call is already up
      m_strDialled = m_pBody->substr(m_nPos);  // the rest of the line is the dial string
      m_nPos = m_pBody->size();
      eResult = m_eDialResult;
      return true;
    }
    long nValue = ReadNumber();
    switch (ch) {
      case 'E': return SetFlag(m_bEcho, nValue);
      case 'Q': return SetFlag(m_bQuiet, nValue);
      case 'V': return SetFlag(m_bVerbose, nValue);
      case 'Z':
        if (nValue > 1) return false;
        Reset();
        RestoreStoredProfile();
        return true;
      case 'I':
        if (nValue > 7) return false;
        AppendInfo(strAnswer, "I" + std::to_string(nValue));
        return true;
      case 'O':
        if (nValue > 1) return false;
        eResult = m_bCallUp ? EResult::Connect : EResult::NoCarrier;
        if (m_bCallUp) m_eCallRequest = ECallRequest::Online;
        return true;
      case 'A':
        eResult = EResult::NoCarrier;
        return nValue <= 1;
      case 'H':
        if (nValue > 1) return false;
        if (nValue == 0 && m_bCallUp) m_eCallRequest = ECallRequest::HangUp;
        return true;
      case 'B': case 'C': case 'N': case 'Y': return nValue <= 1;
      case 'L': case 'M': return nValue <= 3;
      case 'X': return nValue <= 4;
      case 'P': case 'T': case 'W': return nValue <= 2;
      default: return false;
    }
  }

  // Runs the stored profile in the middle of a line, which then goes on. A
  // Z in the profile itself only resets.
  void RestoreStoredProfile() {
    if (m_bInProfile || m_strStoredProfile.empty()) return;
    const std::string* pBody = m_pBody;
    const size_t nPos = m_nPos;
    const EResult eLast = m_eLastResult;
    m_bInProfile = true;
    ExecuteLine(m_strStoredProfile);
    m_bInProfile = false;
    m_pBody = pBody;
    m_nPos = nPos;
    m_eLastResult = eLast;
  }

  static bool SetFlag(bool& bFlag, long nValue) {
    if (nValue > 1) return false;
    bFlag = nValue == 1;
    return true;
  }

  bool ExecuteRegister(std::string& strAnswer) {
    long nRegister = ReadNumber();
    if (nRegister > 255) return false;
    if (Peek() == '?') {
      ++m_nPos;
      char szValue[8];
      std::snprintf(szValue, sizeof szValue, "%03u", static_cast<unsigned>(m_arrRegisters[nRegister]));
      strAnswer += FrameInfo(szValue);
      return true;
    }
    if (Peek() != '=') return false;
    ++m_nPos;
    long nValue = ReadNumber();
    if (nValue > 255) return false;
    m_arrRegisters[nRegister] = static_cast<uint8_t>(nValue);
    return true;
  }

  // Extended commands (+NAME) run up to the next ";" in the forms
  // +NAME (action), +NAME? (read), +NAME=? (test) and +NAME=value (set).
  bool ExecuteExtended(std::string& strAnswer) {
    std::string strName = "+";
    while (!AtEnd() && std::isalnum(static_cast<unsigned char>(Peek()))) {
      strName += Peek();
      ++m_nPos;
    }
    std::string strSuffix;
    while (!AtEnd() && Peek() != ';') {
      strSuffix += Peek();
      ++m_nPos;
    }
    while (!strSuffix.empty() && strSuffix.back() == ' ') strSuffix.pop_back();

    if (strName == "+FCLASS") {
      if (strSuffix == "=?") return AppendKnown(strAnswer, "+FCLASS=?");
      if (strSuffix == "?") {
        strAnswer += FrameInfo(std::to_string(m_nFaxClass));
        return true;
      }
      if (strSuffix == "=0" || strSuffix == "=1" || strSuffix == "=8") {
        m_nFaxClass = strSuffix[1] - '0';
        return true;
      }
      return false;
    }
    if (strName == "+IPR") {
      if (strSuffix == "=?") return AppendKnown(strAnswer, "+IPR=?");
      if (strSuffix == "?") {
        strAnswer += FrameInfo("+IPR: 0");
        return true;
      }
      return strSuffix.size() > 1 && strSuffix[0] == '=';
    }
    if (m_mapInfo.find(strName) == m_mapInfo.end()) return false;
    if (strSuffix.empty()) {
      AppendInfo(strAnswer, strName);
      return true;
    }
    return strSuffix == "=?";
  }

  bool AppendKnown(std::string& strAnswer, const std::string& strKey) {
    AppendInfo(strAnswer, strKey);
    return true;
  }

  std::map<std::string, std::string> m_mapInfo;
  std::array<uint8_t, 256> m_arrRegisters{};
  bool m_bEcho = true;
  bool m_bQuiet = false;
  bool m_bVerbose = true;
  int m_nFaxClass = 0;
  EResult m_eLastResult = EResult::Ok;
  EResult m_eDialResult = EResult::Connect;
  bool m_bCallUp = false;
  ECallRequest m_eCallRequest = ECallRequest::None;
  uint32_t m_nLineSpeed = 0;
  std::string m_strDialled;
  std::string m_strStoredProfile;
  bool m_bInProfile = false;
  size_t m_nPos = 0;
  const std::string* m_pBody = nullptr;
};

}  // namespace modem_simulator

// Command line of the modem simulator: supported speeds, scripted
// misbehaviour rules, log and ready files. No I/O here.
#pragma once

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace modem_simulator {

inline const char* UsageText() {
  return "usage: modem_simulator [options]\n"
         "Creates a pseudo-terminal, prints its slave path on stdout and answers\n"
         "Hayes AT commands behind it.\n"
         "  --speeds LIST         speeds answered, e.g. 115200,14400 (default: any)\n"
         "  --wrong-speed MODE    at other speeds: silent (default) or garbage\n"
         "  --info KEY:TEXT       information text of a command, e.g. I0:33600,\n"
         "                        +FCLASS=?:0,1,2 (C escapes: \\r \\n \\xHH)\n"
         "  --on MATCH ACTIONS    misbehave on matching lines; MATCH is\n"
         "                        [COMMAND|*][@SPEED][#COUNT], first match wins;\n"
         "                        a rule naming a speed also applies at that speed\n"
         "                        when it is not among --speeds\n"
         "                        ACTIONS, comma-separated: normal silent error\n"
         "                        garbage lower xoff vanish late:MS flood[:BYTES]\n"
         "                        paced (the answer leaves at the line's rate,\n"
         "                        10 bits a byte, and command lines that come\n"
         "                        while it is printed are ignored)\n"
         "                        and last text:TEXT or raw:BYTES\n"
         "  --dial RESULT         ATD ends with connect (CONNECT <speed>, the\n"
         "                        default), busy, no-carrier or no-dialtone\n"
         "  --profile COMMANDS    run at power-on as a stored profile, e.g. E0,\n"
         "                        and again by ATZ (the default is E1 Q0 V1)\n"
         "  --vanish-after N      answer N command lines, hang up at the next\n"
         "  --log PATH            one line per command line and port event\n"
         "  --ready-file PATH     write the slave path there once ready\n"
         "  --link PATH           symlink PATH to the slave (e.g. a Wine comN)\n"
         "  --answer PROGRAM [ARG...]\n"
         "                        the far end of a call: once ATD has answered\n"
         "                        CONNECT, the line is PROGRAM's standard input\n"
         "                        and output until the program ends (NO CARRIER),\n"
         "                        the port is closed, or +++ (S12 guard time)\n"
         "                        and ATH hang up; ATO after +++ goes back online.\n"
         "                        The rest of the command line is the program's.\n";
}

// Printable ASCII stays, the rest becomes \r \n \t \" \\ or \xHH.
inline std::string CEscape(const std::string& strBytes) {
  static const char szHex[] = "0123456789abcdef";
  std::string strOut;
  for (unsigned char ch : strBytes) {
    switch (ch) {
      case '\r': strOut += "\\r"; break;
      case '\n': strOut += "\\n"; break;
      case '\t': strOut += "\\t"; break;
      case '"': strOut += "\\\""; break;
      case '\\': strOut += "\\\\"; break;
      default:
        if (ch >= 0x20 && ch < 0x7f) {
          strOut += static_cast<char>(ch);
        } else {
          strOut += "\\x";
          strOut += szHex[ch >> 4];
          strOut += szHex[ch & 15];
        }
    }
  }
  return strOut;
}

inline std::string CUnescape(const std::string& strText) {
  std::string strOut;
  for (size_t i = 0; i < strText.size(); ++i) {
    char ch = strText[i];
    if (ch != '\\' || i + 1 == strText.size()) {
      strOut += ch;
      continue;
    }
    char chNext = strText[++i];
    if (chNext == 'r') strOut += '\r';
    else if (chNext == 'n') strOut += '\n';
    else if (chNext == 't') strOut += '\t';
    else if (chNext == 'x' && i + 2 < strText.size() && std::isxdigit(static_cast<unsigned char>(strText[i + 1])) &&
             std::isxdigit(static_cast<unsigned char>(strText[i + 2]))) {
      strOut += static_cast<char>(std::strtol(strText.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else {
      strOut += chNext;
    }
  }
  return strOut;
}

inline std::string UpperAscii(std::string strText) {
  for (char& ch : strText) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return strText;
}

struct SActions {
  bool m_bSilent = false;
  bool m_bError = false;
  bool m_bGarbage = false;
  bool m_bLower = false;
  bool m_bXoff = false;
  bool m_bVanish = false;
  bool m_bPaced = false;
  long m_nLateMs = 0;
  long m_nFloodBytes = 0;
  std::optional<std::string> m_optText;
  std::optional<std::string> m_optRaw;
  std::string m_strSpelling;  // as given, for the log
};

struct SRule {
  std::string m_strCommand;  // upper case; empty matches every line
  uint32_t m_nSpeed = 0;     // 0 matches every speed
  long m_nRemaining = -1;    // lines this rule may still take; -1 unlimited
  SActions m_actions;
};

struct SOptions {
  std::vector<uint32_t> m_vecSpeeds;  // empty: every speed is answered
  bool m_bGarbageAtWrongSpeed = false;
  std::string m_strLogPath;
  std::string m_strReadyFile;
  std::string m_strLinkPath;
  std::string m_strProfile;
  std::string m_strDial = "connect";
  long m_nVanishAfter = -1;
  std::vector<std::pair<std::string, std::string>> m_vecInfo;
  std::vector<SRule> m_vecRules;
  std::vector<std::string> m_vecAnswer;  // the far end's program and arguments
};

inline bool ParseCount(const std::string& strText, long& nValue) {
  if (strText.empty() || strText.size() > 9) return false;
  for (char ch : strText)
    if (!std::isdigit(static_cast<unsigned char>(ch))) return false;
  nValue = std::strtol(strText.c_str(), nullptr, 10);
  return true;
}

inline bool ParseActions(const std::string& strText, SActions& actions, std::string& strError) {
  actions.m_strSpelling = strText;
  size_t nPos = 0;
  while (nPos <= strText.size()) {
    if (strText.compare(nPos, 5, "text:") == 0) {
      actions.m_optText = CUnescape(strText.substr(nPos + 5));
      return true;
    }
    if (strText.compare(nPos, 4, "raw:") == 0) {
      actions.m_optRaw = CUnescape(strText.substr(nPos + 4));
      return true;
    }
    size_t nComma = strText.find(',', nPos);
    std::string strAction = strText.substr(nPos, nComma == std::string::npos ? std::string::npos : nComma - nPos);
    std::string strArgument;
    size_t nColon = strAction.find(':');
    if (nColon != std::string::npos) {
      strArgument = strAction.substr(nColon + 1);
      strAction.resize(nColon);
    }
    bool bNeedsNumber = strAction == "late";
    long nNumber = 0;
    if ((bNeedsNumber || !strArgument.empty()) && !ParseCount(strArgument, nNumber)) {
      strError = "bad number in action: " + strText;
      return false;
    }
    if (strAction == "normal") {
    } else if (strAction == "silent") {
      actions.m_bSilent = true;
    } else if (strAction == "error") {
      actions.m_bError = true;
    } else if (strAction == "garbage") {
      actions.m_bGarbage = true;
    } else if (strAction == "lower") {
      actions.m_bLower = true;
    } else if (strAction == "xoff") {
      actions.m_bXoff = true;
    } else if (strAction == "paced") {
      actions.m_bPaced = true;
    } else if (strAction == "vanish") {
      actions.m_bVanish = true;
    } else if (strAction == "late") {
      actions.m_nLateMs = nNumber;
    } else if (strAction == "flood") {
      actions.m_nFloodBytes = strArgument.empty() ? 600 : nNumber;
    } else {
      strError = "unknown action: " + strAction;
      return false;
    }
    if (nComma == std::string::npos) break;
    nPos = nComma + 1;
  }
  return true;
}

// MATCH is [COMMAND|*][@SPEED][#COUNT].
inline bool ParseMatch(std::string strText, SRule& rule, std::string& strError) {
  size_t nHash = strText.rfind('#');
  if (nHash != std::string::npos && ParseCount(strText.substr(nHash + 1), rule.m_nRemaining)) strText.resize(nHash);
  size_t nAt = strText.rfind('@');
  long nSpeed = 0;
  if (nAt != std::string::npos && ParseCount(strText.substr(nAt + 1), nSpeed)) {
    rule.m_nSpeed = static_cast<uint32_t>(nSpeed);
    strText.resize(nAt);
  }
  if (strText == "*") strText.clear();
  rule.m_strCommand = UpperAscii(strText);
  if (rule.m_nRemaining == 0) {
    strError = "a rule for no lines: #0";
    return false;
  }
  return true;
}

inline bool ParseSpeeds(const std::string& strText, std::vector<uint32_t>& vecSpeeds, std::string& strError) {
  vecSpeeds.clear();
  if (strText == "any") return true;
  size_t nPos = 0;
  while (true) {
    size_t nComma = strText.find(',', nPos);
    long nSpeed = 0;
    if (!ParseCount(strText.substr(nPos, nComma == std::string::npos ? std::string::npos : nComma - nPos), nSpeed) ||
        nSpeed == 0) {
      strError = "bad speed list: " + strText;
      return false;
    }
    vecSpeeds.push_back(static_cast<uint32_t>(nSpeed));
    if (nComma == std::string::npos) return true;
    nPos = nComma + 1;
  }
}

inline bool ParseOptions(int argc, char** argv, SOptions& options, std::string& strError) {
  for (int i = 1; i < argc; ++i) {
    std::string strOption = argv[i];
    if (strOption == "--help") {
      strError.clear();  // not an error: the caller shows the usage
      return false;
    }
    if (strOption == "--answer" && i + 1 < argc) {
      options.m_vecAnswer.assign(argv + i + 1, argv + argc);
      return true;
    }
    int nNeeded = strOption == "--on" ? 2 : 1;
    if (i + nNeeded >= argc) {
      strError = "missing value after " + strOption;
      return false;
    }
    std::string strValue = argv[i + 1];
    i += nNeeded;
    if (strOption == "--speeds") {
      if (!ParseSpeeds(strValue, options.m_vecSpeeds, strError)) return false;
    } else if (strOption == "--wrong-speed") {
      if (strValue != "silent" && strValue != "garbage") {
        strError = "--wrong-speed takes silent or garbage";
        return false;
      }
      options.m_bGarbageAtWrongSpeed = strValue == "garbage";
    } else if (strOption == "--info") {
      size_t nColon = strValue.find(':');
      if (nColon == std::string::npos || nColon == 0) {
        strError = "--info takes KEY:TEXT";
        return false;
      }
      options.m_vecInfo.emplace_back(UpperAscii(strValue.substr(0, nColon)), CUnescape(strValue.substr(nColon + 1)));
    } else if (strOption == "--on") {
      SRule rule;
      if (!ParseMatch(strValue, rule, strError) || !ParseActions(argv[i], rule.m_actions, strError)) return false;
      options.m_vecRules.push_back(rule);
    } else if (strOption == "--vanish-after") {
      if (!ParseCount(strValue, options.m_nVanishAfter)) {
        strError = "--vanish-after takes a count";
        return false;
      }
    } else if (strOption == "--dial") {
      if (strValue != "connect" && strValue != "busy" && strValue != "no-carrier" && strValue != "no-dialtone") {
        strError = "--dial takes connect, busy, no-carrier or no-dialtone";
        return false;
      }
      options.m_strDial = strValue;
    } else if (strOption == "--profile") {
      options.m_strProfile = strValue;
    } else if (strOption == "--log") {
      options.m_strLogPath = strValue;
    } else if (strOption == "--ready-file") {
      options.m_strReadyFile = strValue;
    } else if (strOption == "--link") {
      options.m_strLinkPath = strValue;
    } else {
      strError = "unknown option " + strOption;
      return false;
    }
  }
  return true;
}

}  // namespace modem_simulator

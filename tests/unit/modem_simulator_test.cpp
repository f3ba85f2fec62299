// The modem simulator's command interpreter and option parser: the bytes the
// end-to-end tests rely on, without a pseudo-terminal.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../tools/modem_simulator/hayes_modem.h"
#include "../../tools/modem_simulator/options.h"

namespace modem_simulator {
namespace {

struct SLineCase {
  const char* pszBody;  // the line after "AT"
  const char* pszAnswer;
};

// Each row runs on the state the rows before it left.
TEST(HayesModem, AnswersALineSequenceByteForByte) {
  const std::vector<SLineCase> vecCases = {
      {"", "\r\nOK\r\n"},
      {"I0", "\r\n56000\r\n\r\nOK\r\n"},
      {"+FCLASS=?", "\r\n0,1,8\r\n\r\nOK\r\n"},
      {"I2", "\r\nOK\r\n"},
      {"i3 i5", "\r\nV2.41.07-K56_V92_DLS\r\n\r\nB5\r\n\r\nOK\r\n"},
      {"+GMI;+CGMR", "\r\nNORDKAPP DATACOM\r\n\r\n2.41.07\r\n\r\nOK\r\n"},
      {"+CGMI?", "\r\nERROR\r\n"},
      {"+GMM=?", "\r\nOK\r\n"},
      {"I0;ATI1", "\r\n56000\r\n\r\nERROR\r\n"},
      {"I8", "\r\nERROR\r\n"},
      {"S3?", "\r\n013\r\n\r\nOK\r\n"},
      {"S0=300", "\r\nERROR\r\n"},
      {"DT123", "\r\nNO DIALTONE\r\n"},
      {"V0", "0\r"},
      {"I0", "56000\r\n0\r"},
      {"X9", "4\r"},
      {"Q1", ""},
      {"I5", "B5\r\n"},
      {"Q0V1", "\r\nOK\r\n"},
  };
  CHayesModem modem;
  for (const SLineCase& lineCase : vecCases) {
    EXPECT_EQ(CEscape(modem.ExecuteLine(lineCase.pszBody)), CEscape(lineCase.pszAnswer)) << "AT" << lineCase.pszBody;
  }
  // S4 is the character after CR in every frame; &F restores it.
  EXPECT_EQ(modem.ExecuteLine("S4=0I5"), std::string("\r\0B5\r\0\r\0OK\r\0", 12));
  EXPECT_EQ(modem.ExecuteLine("&F"), "\r\nOK\r\n");
}

TEST(HayesModem, EchoSettingAndMultiLineTexts) {
  CHayesModem modem;
  EXPECT_TRUE(modem.IsEchoOn());
  modem.ExecuteLine("E0V1");
  EXPECT_FALSE(modem.IsEchoOn());
  modem.ExecuteLine("Z");
  EXPECT_TRUE(modem.IsEchoOn());
  modem.SetInfoText("I0", "33600\r\nline two");
  EXPECT_EQ(modem.ExecuteLine("I0"), "\r\n33600\r\nline two\r\n\r\nOK\r\n");
}

TEST(SimulatorOptions, ParsesRulesSpeedsAndTexts) {
  std::vector<std::string> vecArgs = {"sim",  "--speeds", "115200,14400", "--wrong-speed", "garbage",
                                      "--on", "ATI3@9600#2", "late:1500,lower", "--on", "*",
                                      "text:a,b\\r\\nc", "--info", "i0:33600", "--vanish-after", "3"};
  std::vector<char*> vecArgv;
  for (std::string& strArg : vecArgs) vecArgv.push_back(strArg.data());
  SOptions options;
  std::string strError;
  ASSERT_TRUE(ParseOptions(static_cast<int>(vecArgv.size()), vecArgv.data(), options, strError)) << strError;
  EXPECT_EQ(options.m_vecSpeeds, (std::vector<uint32_t>{115200, 14400}));
  EXPECT_TRUE(options.m_bGarbageAtWrongSpeed);
  ASSERT_EQ(options.m_vecRules.size(), 2u);
  EXPECT_EQ(options.m_vecRules[0].m_strCommand, "ATI3");
  EXPECT_EQ(options.m_vecRules[0].m_nSpeed, 9600u);
  EXPECT_EQ(options.m_vecRules[0].m_nRemaining, 2);
  EXPECT_EQ(options.m_vecRules[0].m_actions.m_nLateMs, 1500);
  EXPECT_TRUE(options.m_vecRules[0].m_actions.m_bLower);
  EXPECT_EQ(options.m_vecRules[1].m_strCommand, "");
  EXPECT_EQ(options.m_vecRules[1].m_actions.m_optText.value_or("-"), "a,b\r\nc");
  EXPECT_EQ(options.m_vecInfo.at(0), (std::pair<std::string, std::string>{"I0", "33600"}));
  EXPECT_EQ(options.m_nVanishAfter, 3);
}

TEST(SimulatorOptions, RefusesWhatItCannotMean) {
  const std::vector<std::vector<std::string>> vecBad = {
      {"--speeds", "fast"},     {"--speeds", "0"},          {"--wrong-speed", "loud"}, {"--on", "ATI0"},
      {"--on", "ATI0", "nap"},  {"--on", "ATI0", "late"},  {"--on", "#0", "error"},    {"--info", "nocolon"},
      {"--vanish-after", "-1"}, {"--bogus", "1"},
  };
  for (const auto& vecCase : vecBad) {
    std::vector<std::string> vecArgs = {"sim"};
    vecArgs.insert(vecArgs.end(), vecCase.begin(), vecCase.end());
    std::vector<char*> vecArgv;
    for (std::string& strArg : vecArgs) vecArgv.push_back(strArg.data());
    SOptions options;
    std::string strError;
    EXPECT_FALSE(ParseOptions(static_cast<int>(vecArgv.size()), vecArgv.data(), options, strError)) << vecCase[0];
    EXPECT_FALSE(strError.empty()) << vecCase[0];
  }
}

TEST(SimulatorOptions, EscapesRoundTrip) {
  std::string strBytes("A\r\n\"\\\x13\xff z", 9);
  EXPECT_EQ(CEscape(strBytes), "A\\r\\n\\\"\\\\\\x13\\xff z");
  EXPECT_EQ(CUnescape(CEscape(strBytes)), strBytes);
}

}  // namespace
}  // namespace modem_simulator

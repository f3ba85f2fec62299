// The phonebook's own reader on arbitrary file bytes: every section the file
// names reads back as an entry, its texts terminated.
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "dialup/entry/phonebook_posix.h"
#include "fuzz_input.h"
#include "profile/file_encoding.h"
#include "profile/ini_text.h"
#include "text/code_page.h"
#include "text/utf8.h"
#include "text/wide_string.h"

using halvorn::fuzzing::Check;

static std::string g_path;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static halvorn::Utf8CodePage utf8;
  halvorn::InstallCodePage(&utf8);
  char folder[] = "/tmp/halvorn-fuzz-XXXXXX";
  if (::mkdtemp(folder) == nullptr) std::abort();
  g_path = std::string(folder) + "/rasphone.pbk";
  std::atexit([] {
    ::unlink(g_path.c_str());
    ::rmdir(g_path.substr(0, g_path.rfind('/')).c_str());
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::ofstream(g_path, std::ios::binary | std::ios::trunc) << bytes;
  // The PPP folders are missing there, so only the phonebook is read.
  halvorn::PosixPhonebook phonebook(g_path, g_path + ".etc");
  const auto names = halvorn::ini::SectionNames(halvorn::ini::TextOfFile(bytes));
  for (size_t i = 0; i < names.size() && i < 4; ++i) {
    const halvorn::WideString name(names[i].c_str());
    // Only a name that converts back to its own bytes can be asked for.
    if (names[i].find('\0') != std::string::npos || halvorn::EncodeUtf8(name.View()) != names[i])
      continue;
    halvorn::RasEntryRecord record{};
    record.dwSize = halvorn::kRasEntryRecordSize;
    uint32_t recordSize = sizeof record;
    Check(phonebook.GetEntryProperties(name.c_str(), &record, recordSize) == 0);
    Check(record.szLocalPhoneNumber[halvorn::kRasPhoneNumberChars - 1] == u'\0');
  }
  return 0;
}

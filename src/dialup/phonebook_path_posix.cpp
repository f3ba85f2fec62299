#include <cstdlib>

#include "dialup/phonebook_path.h"
#include "text/console.h"

namespace halvorn {

std::string PosixPhonebookPath() {
  const char* allUsers = std::getenv("ALLUSERSPROFILE");
  std::string path = (allUsers != nullptr && *allUsers != '\0') ? allUsers : "/var/lib/halvorn";
  std::string rest = EncodeUtf8(std::u16string_view(kPhonebookFileName).substr(17));
  for (char& c : rest)
    if (c == '\\') c = '/';
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path + rest;
}

}  // namespace halvorn

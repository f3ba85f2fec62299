#include "profile/profile_writer_posix.h"

#include <cerrno>
#include <string>

#include "profile/file_encoding.h"
#include "profile/ini_text.h"
#include "profile/locked_file_posix.h"
#include "text/utf8.h"

namespace halvorn {

int UpdateProfileFile(const std::string& path, const std::function<bool(std::string& text)>& edit,
                      mode_t newFileMode, FileSecrecy secrecy) {
  return UpdateFileLocked(
      path, [&](std::string& bytes) { return ini::EditInFileEncoding(bytes, edit); }, newFileMode,
      secrecy);
}

int ReadProfileFile(const std::string& path, std::string& text) {
  const int error = ReadFileLocked(path, text);
  text = error == 0 ? ini::TextOfFile(std::move(text)) : std::string();
  return error;
}

bool PosixProfileWriter::WriteString(const char16_t* section, const char16_t* key,
                                     const char16_t* value, const char16_t* fileName) {
  // A missing key or value would ask Windows to delete a section or a key;
  // nothing in the tool does that, so it is refused rather than half-done.
  if (section == nullptr || key == nullptr || value == nullptr || fileName == nullptr) {
    m_dwError = EINVAL;
    return false;
  }
  const std::string sectionText = EncodeUtf8(section);
  const std::string keyText = EncodeUtf8(key);
  const std::string valueText = EncodeUtf8(value);
  const int error = UpdateProfileFile(EncodeUtf8(fileName), [&](std::string& text) {
    return ini::SetValue(text, sectionText, keyText, valueText);
  });
  m_dwError = static_cast<uint32_t>(error);
  return error == 0;
}

}  // namespace halvorn

// Standard output on Windows: WriteConsoleW to a console, UTF-8 bytes when the
// output is redirected to a file or a pipe.
#pragma once

#include "text/console.h"

namespace halvorn {

class Win32Console final : public Utf8Console {
 public:
  Win32Console();
  void WriteWide(std::u16string_view text) override;
  void WriteNarrow(std::string_view text) override;

 protected:
  void WriteBytes(std::string_view bytes) override;

 private:
  void* m_hOutput;
  bool m_bIsConsole;
};

}  // namespace halvorn

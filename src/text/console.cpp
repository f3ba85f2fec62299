#include "text/console.h"

namespace halvorn {

std::u16string FormatWide(std::u16string_view format, std::initializer_list<FormatArg> args) {
  std::u16string out;
  const FormatArg* next = args.begin();
  for (size_t i = 0; i < format.size(); ++i) {
    const char16_t unit = format[i];
    if (unit != u'%' || i + 1 == format.size()) {
      out.push_back(unit);
      continue;
    }
    const char16_t directive = format[++i];
    if (directive == u'%') {
      out.push_back(u'%');
      continue;
    }
    if (next == args.end()) continue;
    const FormatArg& arg = *next++;
    if (directive == u'd' && arg.IsNumber()) {
      const std::string digits = std::to_string(arg.Number());
      out.append(digits.begin(), digits.end());
    } else if (directive == u's' && !arg.IsNumber()) {
      out.append(arg.Text() != nullptr ? std::u16string_view(arg.Text()) : u"(null)");
    }
  }
  return out;
}

}  // namespace halvorn

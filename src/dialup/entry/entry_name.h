// The form of a Remote Access entry name, as the service documents it.
#pragma once

#include <string_view>

namespace halvorn {

// What RasValidateEntryName checks of a name's form: no leading ".", none of
// the characters | > < ? * \ / :, and at least one letter or digit (beyond
// ASCII, anything from the Latin letters on counts as a letter). Nothing else:
// brackets, blanks and control characters are the phonebook file's concern.
bool HasDocumentedEntryNameForm(std::u16string_view name);

}  // namespace halvorn

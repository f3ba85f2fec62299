#include "text/object.h"

namespace halvorn {

const CRuntimeClass CObject::classCObject = {"CObject", nullptr};
const CRuntimeClass CException::classCException = {"CException", &CObject::classCObject};

bool CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const {
  for (const CRuntimeClass* current = this; current != nullptr; current = current->m_pBaseClass)
    if (current == base) return true;
  return false;
}

void CException::Delete() {
  if (m_bAutoDelete) delete this;
}

bool CException::GetErrorMessage(char16_t* text, uint32_t capacity, uint32_t* helpContext) const {
  if (helpContext != nullptr) *helpContext = 0;
  if (text != nullptr && capacity != 0) text[0] = u'\0';
  return false;
}

}  // namespace halvorn

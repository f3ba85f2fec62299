// CObject and CException: the root of the tool's exception classes, with
// run-time class information so that a catcher can ask what it holds.
#pragma once

#include <cstdint>

namespace halvorn {

struct CRuntimeClass {
  const char* m_lpszClassName;
  const CRuntimeClass* m_pBaseClass;

  bool IsDerivedFrom(const CRuntimeClass* base) const;
};

class CObject {
 public:
  static const CRuntimeClass classCObject;

  virtual ~CObject() = default;
  virtual const CRuntimeClass* GetRuntimeClass() const { return &classCObject; }
  virtual void Serialize() {}
  bool IsKindOf(const CRuntimeClass* runtimeClass) const {
    return GetRuntimeClass()->IsDerivedFrom(runtimeClass);
  }
};

// Exceptions are allocated with new, thrown as pointers, and released by their
// catcher through Delete, never deleted directly.
class CException : public CObject {
 public:
  static const CRuntimeClass classCException;

  CException() = default;
  const CRuntimeClass* GetRuntimeClass() const override { return &classCException; }

  void Delete();
  // The base form knows no message: help context 0, empty text, false.
  virtual bool GetErrorMessage(char16_t* text, uint32_t capacity,
                               uint32_t* helpContext = nullptr) const;

  bool m_bAutoDelete = true;

 protected:
  ~CException() override = default;
};

}  // namespace halvorn

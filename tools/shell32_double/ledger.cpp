#include "ledger.h"

#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "../double_support/double_log.h"

namespace shell_double {

namespace {

using doubles::Log;

// COM's spies may be called from any thread of the process.
CRITICAL_SECTION g_lock;
std::set<void*>* g_pBlocks;  // never destroyed: frees may come while the process ends
long g_references, g_badReleases, g_badFrees, g_comOpened, g_comClosed;

class Locked {
 public:
  Locked() { EnterCriticalSection(&g_lock); }
  ~Locked() { LeaveCriticalSection(&g_lock); }
};

// Every block freed through COM's task allocator passes here, whoever frees
// it (the program through the shell's allocator, or shlwapi's StrRetToBufW).
class MallocSpy final : public IMallocSpy {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid != IID_IUnknown && riid != IID_IMallocSpy) return *ppv = nullptr, E_NOINTERFACE;
    *ppv = this;
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP_(SIZE_T) PreAlloc(SIZE_T cbRequest) override { return cbRequest; }
  STDMETHODIMP_(void*) PostAlloc(void* pActual) override { return pActual; }
  STDMETHODIMP_(void*) PreFree(void* pRequest, BOOL) override {
    Locked locked;
    g_pBlocks->erase(pRequest);
    return pRequest;
  }
  STDMETHODIMP_(void) PostFree(BOOL) override {}
  STDMETHODIMP_(SIZE_T) PreRealloc(void* pRequest, SIZE_T cbRequest, void** ppNewRequest, BOOL) override {
    *ppNewRequest = pRequest;
    return cbRequest;
  }
  STDMETHODIMP_(void*) PostRealloc(void* pActual, BOOL) override { return pActual; }
  STDMETHODIMP_(void*) PreGetSize(void* pRequest, BOOL) override { return pRequest; }
  STDMETHODIMP_(SIZE_T) PostGetSize(SIZE_T cbActual, BOOL) override { return cbActual; }
  STDMETHODIMP_(void*) PreDidAlloc(void* pRequest, BOOL) override { return pRequest; }
  STDMETHODIMP_(int) PostDidAlloc(void*, BOOL, int fActual) override { return fActual; }
  STDMETHODIMP_(void) PreHeapMinimize() override {}
  STDMETHODIMP_(void) PostHeapMinimize() override {}
};

// COM's opening and closing on the thread that loaded the double.
class InitializeSpy final : public IInitializeSpy {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid != IID_IUnknown && riid != IID_IInitializeSpy) return *ppv = nullptr, E_NOINTERFACE;
    *ppv = this;
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP PreInitialize(DWORD, DWORD) override { return S_OK; }
  STDMETHODIMP PostInitialize(HRESULT hrCoInit, DWORD dwCoInit, DWORD dwNewThreadAptRefs) override {
    if (SUCCEEDED(hrCoInit)) InterlockedIncrement(&g_comOpened);
    Log("CoInitializeEx flags=0x%lx -> 0x%08lx apartment uses=%lu", dwCoInit,
        static_cast<unsigned long>(hrCoInit), dwNewThreadAptRefs);
    return hrCoInit;
  }
  STDMETHODIMP PreUninitialize(DWORD) override { return S_OK; }
  STDMETHODIMP PostUninitialize(DWORD dwNewThreadAptRefs) override {
    InterlockedIncrement(&g_comClosed);
    Log("CoUninitialize apartment uses=%lu", dwNewThreadAptRefs);
    return S_OK;
  }
};

MallocSpy g_mallocSpy;
InitializeSpy g_initializeSpy;

}  // namespace

void OpenLedger() {
  InitializeCriticalSection(&g_lock);
  g_pBlocks = new std::set<void*>;
  ULARGE_INTEGER cookie;
  const HRESULT malloc = CoRegisterMallocSpy(&g_mallocSpy);
  const HRESULT initialize = CoRegisterInitializeSpy(&g_initializeSpy, &cookie);
  if (FAILED(malloc) || FAILED(initialize))
    Log("ledger: spies not registered: malloc 0x%08lx, initialize 0x%08lx",
        static_cast<unsigned long>(malloc), static_cast<unsigned long>(initialize));
}

void CloseLedger() {
  wchar_t directory[MAX_PATH] = L"";
  GetCurrentDirectoryW(MAX_PATH, directory);
  Locked locked;
  Log("exit: references=%ld blocks=%zu bad releases=%ld bad frees=%ld COM opened=%ld closed=%ld "
      "current directory=%s",
      g_references, g_pBlocks->size(), g_badReleases, g_badFrees, g_comOpened, g_comClosed,
      doubles::Utf8(directory).c_str());
}

void CountReference(long delta) { InterlockedExchangeAdd(&g_references, delta); }
void CountBadRelease() { InterlockedIncrement(&g_badReleases); }
void CountBadFree() { InterlockedIncrement(&g_badFrees); }

void* HandOutBlock(size_t bytes) {
  void* block = CoTaskMemAlloc(bytes);
  if (block != nullptr) {
    Locked locked;
    g_pBlocks->insert(block);
  }
  return block;
}

bool IsOutstandingBlock(void* block) {
  Locked locked;
  return g_pBlocks->count(block) != 0;
}

bool Fails(const char* call) {
  char failing[64];
  const DWORD length = GetEnvironmentVariableA("SHELL32_DOUBLE_FAIL", failing, sizeof failing);
  return length != 0 && length < sizeof failing && std::strcmp(failing, call) == 0;
}

std::string Hex(const void* bytes, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < size; ++i) {
    const unsigned char byte = static_cast<const unsigned char*>(bytes)[i];
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

std::string LoggedHr(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(hr));
  return text;
}

size_t IdListSize(const void* list) {
  if (list == nullptr) return 0;
  const auto* bytes = static_cast<const unsigned char*>(list);
  size_t size = 0;
  for (size_t item = bytes[0] | bytes[1] << 8; item != 0; item = bytes[size] | bytes[size + 1] << 8)
    size += item;
  return size + 2;
}

}  // namespace shell_double

// The shell double's ledger of what it hands out: references on its objects,
// memory blocks (item identifier lists, display names, and whatever is taken
// from its allocator), COM's opening and closing on the thread, and the one
// call a test may make fail.
#pragma once

#include <windows.h>

#include <string>

namespace shell_double {

// Registers the spies that watch COM's task allocator and COM's opening and
// closing; from DllMain, before the program can call anything.
void OpenLedger();
// The summary line the tests read: what is still out, and where the process
// stands, as it ends.
void CloseLedger();

void CountReference(long delta);
void CountBadRelease();

// A block of COM task memory now in the caller's hands; it is struck off when
// it comes back through the task allocator, by whatever path.
void* HandOutBlock(size_t bytes);
bool IsOutstandingBlock(void* block);
void CountBadFree();

// Whether SHELL32_DOUBLE_FAIL names this call: it then fails with E_FAIL.
bool Fails(const char* call);

std::string Hex(const void* bytes, size_t size);
std::string LoggedHr(HRESULT hr);
// The bytes of an item identifier list, its terminator included.
size_t IdListSize(const void* list);

}  // namespace shell_double

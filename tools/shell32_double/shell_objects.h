// The double's shell objects: its allocator, the desktop and Network
// Connections folders, the enumerator over the connections, and the shell
// link class with its class factory. Every object is counted in the ledger and
// logs each call made on it.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shobjidl.h>

namespace shell_double {

IMalloc* NewAllocator();
IShellFolder* NewDesktopFolder();
IClassFactory* NewShellLinkFactory();

// The Network Connections folder's absolute item identifier list, in task
// memory handed out to the caller.
void* HandOutConnectionsFolderList();

}  // namespace shell_double

// Runs one AT exchange (ATQ0V1E0 at 9600) with the Windows serial backend, for
// the Wine tests: at_exchange.exe PORT prints "reply: " and the reply bytes in
// hex, or "error: " and the code of the serial failure (exit status 2).
#include <windows.h>

#include <cstdio>

#include "serial/at_command.h"
#include "serial/comm_win32.h"
#include "serial/serial_port.h"

int wmain(int argc, wchar_t** argv) {
  using namespace halvorn;
  if (argc != 2) return 1;
  WideString path(u"\\\\.\\");
  path.Append(reinterpret_cast<const char16_t*>(argv[1]));
  Win32Comm comm;
  char reply[251];
  try {
    SendATCommand(comm, "ATQ0V1E0", path, 9600, reply);
  } catch (CSerialException* failure) {
    std::printf("error: %lu\n", static_cast<unsigned long>(failure->m_dwError));
    failure->Delete();
    return 2;
  }
  std::printf("reply: ");
  for (const char* c = reply; *c != '\0'; ++c) std::printf("%02x", static_cast<unsigned char>(*c));
  std::printf("\n");
  return 0;
}

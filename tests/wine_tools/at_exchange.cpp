// Runs one AT exchange with the Windows serial backend, for the Wine tests:
//   at_exchange.exe PORT SPEED [COMMAND]
// prints "reply: " and the reply bytes in hex, or "error: " and the code of
// the serial failure (exit status 2). The command defaults to ATQ0V1E0.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "serial/at_command.h"
#include "serial/comm_win32.h"
#include "serial/serial_port.h"

int wmain(int argc, wchar_t** argv) {
  using namespace halvorn;
  if (argc < 3) {
    std::printf("usage: at_exchange PORT SPEED [COMMAND]\n");
    return 1;
  }
  WideString path(u"\\\\.\\");
  path.Append(reinterpret_cast<const char16_t*>(argv[1]));
  const uint32_t speed = static_cast<uint32_t>(std::wcstoul(argv[2], nullptr, 10));
  std::string command = "ATQ0V1E0";
  if (argc > 3) {
    command.clear();
    for (const wchar_t* c = argv[3]; *c != L'\0'; ++c) command.push_back(static_cast<char>(*c));
  }

  Win32Comm comm;
  char reply[251];
  try {
    SendATCommand(comm, command.c_str(), path, speed, reply);
  } catch (CSerialException* failure) {
    std::printf("error: %lu\n", static_cast<unsigned long>(failure->m_dwError));
    failure->Delete();
    return 2;
  }
  std::printf("reply: ");
  for (const char* c = reply; *c != '\0'; ++c)
    std::printf("%02x", static_cast<unsigned>(static_cast<unsigned char>(*c)));
  std::printf("\n");
  return 0;
}

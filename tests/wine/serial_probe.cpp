// One AT exchange through the Win32 serial calls, as the query command makes
// it: serial_probe.exe PORT SPEED COMMAND [WAIT_MS]. Prints the reply with CR,
// LF and other bytes escaped, or "error: CALL: code". Built on the fly by
// tests/wine/simulator_wine.sh to check the modem simulator under Wine
// independently of the tool's own serial code.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
static void fail(const char* what) { printf("error: %s: %lu\n", what, GetLastError()); exit(1); }
int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return 2;
  _setmode(_fileno(stdout), _O_BINARY);  // line ends exactly as printed
  DWORD speed = wcstoul(argv[2], nullptr, 10);
  char cmd[64]; wcstombs(cmd, argv[3], sizeof cmd);
  HANDLE h = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) fail("CreateFileW");
  HANDLE ev = CreateEventW(nullptr, TRUE, FALSE, nullptr); if (!ev) fail("CreateEventW");
  DCB dcb{}; dcb.DCBlength = 28; if (!GetCommState(h, &dcb)) fail("GetCommState");
  dcb.BaudRate = speed; dcb.fOutxCtsFlow = 0; dcb.fOutxDsrFlow = 0; dcb.fDtrControl = DTR_CONTROL_ENABLE; dcb.fDsrSensitivity = 0;
  dcb.fOutX = 1; dcb.fInX = 1; dcb.XonLim = 100; dcb.XoffLim = 100; dcb.ByteSize = 8; dcb.Parity = NOPARITY; dcb.StopBits = ONESTOPBIT;
  dcb.XonChar = 0x11; dcb.XoffChar = 0x13;
  if (!SetCommState(h, &dcb)) fail("SetCommState");
  if (!SetupComm(h, 10000, 10000)) fail("SetupComm");
  COMMTIMEOUTS to{MAXDWORD, 0, 0, 0, 0}; if (!SetCommTimeouts(h, &to)) fail("SetCommTimeouts");
  char tx[64]; snprintf(tx, sizeof tx, "%s\r\n", cmd); DWORD n = 0;
  if (!WriteFile(h, tx, strlen(tx), &n, nullptr)) fail("WriteFile");
  Sleep(argc > 4 ? _wtoi(argv[4]) : 1000);
  unsigned char rx[251] = {}; DWORD errs; COMSTAT st{};
  if (!ClearCommError(h, &errs, &st)) fail("ClearCommError");
  DWORD got = 0;
  if (st.cbInQue > 0 && !ReadFile(h, rx, 250, &got, nullptr)) fail("ReadFile");
  if (!PurgeComm(h, PURGE_TXCLEAR)) fail("PurgeComm tx");
  if (!PurgeComm(h, PURGE_RXCLEAR)) fail("PurgeComm rx");
  if (!FlushFileBuffers(h)) fail("FlushFileBuffers");
  CloseHandle(h); CloseHandle(ev);
  for (DWORD i = 0; i < got; ++i) { unsigned c = rx[i]; if (c == '\r') printf("\\r"); else if (c == '\n') printf("\\n"); else if (c >= 32 && c < 127) putchar(c); else printf("\\x%02x", c); }
  printf("\n");
  return 0;
}

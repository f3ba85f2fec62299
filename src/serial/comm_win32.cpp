#include "serial/comm_win32.h"

#include <windows.h>

namespace halvorn {

namespace {

HANDLE ToHandle(CommHandle handle) { return reinterpret_cast<HANDLE>(handle); }
CommHandle FromHandle(HANDLE handle) { return reinterpret_cast<CommHandle>(handle); }

// Field for field, reserved bits included, so that what GetCommState reported
// goes back to SetCommState unchanged. The portable record carries the DCB's
// own field names, so one copy serves both directions.
template <typename To, typename From>
To CopyDcbFields(const From& dcb) {
  To result{};
  result.DCBlength = static_cast<decltype(result.DCBlength)>(dcb.DCBlength);
  result.BaudRate = static_cast<decltype(result.BaudRate)>(dcb.BaudRate);
  result.fBinary = static_cast<decltype(result.fBinary)>(dcb.fBinary);
  result.fParity = static_cast<decltype(result.fParity)>(dcb.fParity);
  result.fOutxCtsFlow = static_cast<decltype(result.fOutxCtsFlow)>(dcb.fOutxCtsFlow);
  result.fOutxDsrFlow = static_cast<decltype(result.fOutxDsrFlow)>(dcb.fOutxDsrFlow);
  result.fDtrControl = static_cast<decltype(result.fDtrControl)>(dcb.fDtrControl);
  result.fDsrSensitivity = static_cast<decltype(result.fDsrSensitivity)>(dcb.fDsrSensitivity);
  result.fTXContinueOnXoff = static_cast<decltype(result.fTXContinueOnXoff)>(dcb.fTXContinueOnXoff);
  result.fOutX = static_cast<decltype(result.fOutX)>(dcb.fOutX);
  result.fInX = static_cast<decltype(result.fInX)>(dcb.fInX);
  result.fErrorChar = static_cast<decltype(result.fErrorChar)>(dcb.fErrorChar);
  result.fNull = static_cast<decltype(result.fNull)>(dcb.fNull);
  result.fRtsControl = static_cast<decltype(result.fRtsControl)>(dcb.fRtsControl);
  result.fAbortOnError = static_cast<decltype(result.fAbortOnError)>(dcb.fAbortOnError);
  result.fDummy2 = static_cast<decltype(result.fDummy2)>(dcb.fDummy2);
  result.wReserved = static_cast<decltype(result.wReserved)>(dcb.wReserved);
  result.XonLim = static_cast<decltype(result.XonLim)>(dcb.XonLim);
  result.XoffLim = static_cast<decltype(result.XoffLim)>(dcb.XoffLim);
  result.ByteSize = static_cast<decltype(result.ByteSize)>(dcb.ByteSize);
  result.Parity = static_cast<decltype(result.Parity)>(dcb.Parity);
  result.StopBits = static_cast<decltype(result.StopBits)>(dcb.StopBits);
  result.XonChar = static_cast<decltype(result.XonChar)>(dcb.XonChar);
  result.XoffChar = static_cast<decltype(result.XoffChar)>(dcb.XoffChar);
  result.ErrorChar = static_cast<decltype(result.ErrorChar)>(dcb.ErrorChar);
  result.EofChar = static_cast<decltype(result.EofChar)>(dcb.EofChar);
  result.EvtChar = static_cast<decltype(result.EvtChar)>(dcb.EvtChar);
  result.wReserved1 = static_cast<decltype(result.wReserved1)>(dcb.wReserved1);
  return result;
}

}  // namespace

CommHandle Win32Comm::OpenComm(const char16_t* path) {
  return FromHandle(CreateFileW(reinterpret_cast<const wchar_t*>(path),
                                GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                nullptr));
}

CommHandle Win32Comm::CreateManualResetEvent() {
  return FromHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

bool Win32Comm::GetCommState(CommHandle comm, Dcb& dcb) {
  DCB state{};
  state.DCBlength = dcb.DCBlength;
  if (!::GetCommState(ToHandle(comm), &state)) return false;
  dcb = CopyDcbFields<Dcb>(state);
  return true;
}

bool Win32Comm::SetCommState(CommHandle comm, const Dcb& dcb) {
  DCB state = CopyDcbFields<DCB>(dcb);
  return ::SetCommState(ToHandle(comm), &state) != FALSE;
}

bool Win32Comm::SetupComm(CommHandle comm, uint32_t inQueue, uint32_t outQueue) {
  return ::SetupComm(ToHandle(comm), inQueue, outQueue) != FALSE;
}

bool Win32Comm::SetCommTimeouts(CommHandle comm, const CommTimeouts& timeouts) {
  COMMTIMEOUTS record{timeouts.ReadIntervalTimeout, timeouts.ReadTotalTimeoutMultiplier,
                      timeouts.ReadTotalTimeoutConstant, timeouts.WriteTotalTimeoutMultiplier,
                      timeouts.WriteTotalTimeoutConstant};
  return ::SetCommTimeouts(ToHandle(comm), &record) != FALSE;
}

bool Win32Comm::WriteComm(CommHandle comm, const void* data, uint32_t length, uint32_t& written) {
  DWORD count = 0;
  const BOOL ok = WriteFile(ToHandle(comm), data, length, &count, nullptr);
  written = count;
  return ok != FALSE;
}

bool Win32Comm::ClearCommError(CommHandle comm, uint32_t& errors, ComStat& status) {
  DWORD mask = 0;
  COMSTAT state{};
  if (!::ClearCommError(ToHandle(comm), &mask, &state)) return false;
  errors = mask;
  status.cbInQue = state.cbInQue;
  status.cbOutQue = state.cbOutQue;
  return true;
}

bool Win32Comm::ReadComm(CommHandle comm, void* buffer, uint32_t capacity, uint32_t& read) {
  DWORD count = 0;
  const BOOL ok = ReadFile(ToHandle(comm), buffer, capacity, &count, nullptr);
  read = count;
  return ok != FALSE;
}

bool Win32Comm::PurgeComm(CommHandle comm, uint32_t flags) {
  return ::PurgeComm(ToHandle(comm), flags) != FALSE;
}

bool Win32Comm::FlushFileBuffers(CommHandle comm) {
  return ::FlushFileBuffers(ToHandle(comm)) != FALSE;
}

bool Win32Comm::CloseHandle(CommHandle handle) { return ::CloseHandle(ToHandle(handle)) != FALSE; }

uint32_t Win32Comm::GetLastError() { return ::GetLastError(); }

uint32_t Win32Comm::TimeoutError() { return ERROR_TIMEOUT; }
uint32_t Win32Comm::InvalidParameterError() { return ERROR_INVALID_PARAMETER; }

void Win32Comm::Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

uint32_t Win32Comm::GetTickCount() { return ::GetTickCount(); }

bool Win32Comm::FormatErrorMessage(uint32_t error, std::u16string& text) {
  wchar_t* message = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
      nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT),
      reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  text.clear();
  if (length == 0) return false;
  text.assign(reinterpret_cast<const char16_t*>(message), length);
  LocalFree(message);
  return true;
}

uintptr_t Win32Comm::GetKernel32Module() {
  return reinterpret_cast<uintptr_t>(GetModuleHandleW(L"KERNEL32.DLL"));
}

uintptr_t Win32Comm::GetCancelIoEntry(uintptr_t module) {
  return reinterpret_cast<uintptr_t>(
      GetProcAddress(reinterpret_cast<HMODULE>(module), "CancelIo"));
}

}  // namespace halvorn

#include "serial/serial_port.h"

#include <algorithm>
#include <string>

namespace halvorn {

const CRuntimeClass CSerialException::classCSerialException = {"CSerialException",
                                                                &CException::classCException};

bool CSerialException::GetErrorMessage(char16_t* text, uint32_t capacity,
                                       uint32_t* helpContext) const {
  if (helpContext != nullptr) *helpContext = 0;
  std::u16string message;
  const bool known = m_pComm->FormatErrorMessage(m_dwError, message);
  if (text == nullptr || capacity == 0) return known;  // no room for even the zero
  if (!known) {
    text[0] = u'\0';
    return false;
  }
  // Cut to fit, line end and all: the caller gets the system's text as it is.
  const size_t kept = std::min<size_t>(message.size(), capacity - 1);
  std::copy_n(message.begin(), kept, text);
  text[kept] = u'\0';
  return true;
}

void ThrowSerialException(CommApi& comm, uint32_t error) {
  if (error == 0) error = comm.GetLastError();
  throw new CSerialException(comm, error);
}

CSerialPort::CSerialPort(CommApi& comm)
    : m_hComm(kInvalidCommHandle),
      m_hEvent(kNullCommHandle),
      m_hKernel32(comm.GetKernel32Module()),
      m_lpfnCancelIo(m_hKernel32 != 0 ? comm.GetCancelIoEntry(m_hKernel32) : 0),
      m_rComm(comm) {}

CSerialPort::~CSerialPort() { Close(); }

void CSerialPort::Open(const char16_t* portName, uint32_t speed) {
  OpenPort(portName, speed, false);
}

bool CSerialPort::OpenIfSpeedRuns(const char16_t* portName, uint32_t speed) {
  return OpenPort(portName, speed, true);
}

bool CSerialPort::OpenPort(const char16_t* portName, uint32_t speed, bool speedMayBeRefused) {
  if (m_hComm != kInvalidCommHandle) Close();

  m_hComm = m_rComm.OpenComm(portName);
  if (m_hComm == kInvalidCommHandle) ThrowSerialException(m_rComm, m_rComm.GetLastError());

  m_hEvent = m_rComm.CreateManualResetEvent();
  if (m_hEvent == kNullCommHandle) {
    // Read the code before closing, so the close cannot overwrite it.
    const uint32_t error = m_rComm.GetLastError();
    Close();
    ThrowSerialException(m_rComm, error);
  }

  Dcb dcb;
  dcb.DCBlength = kDcbLength;
  if (!m_rComm.GetCommState(m_hComm, dcb)) ThrowSerialException(m_rComm, m_rComm.GetLastError());

  // Only these fields change; everything else stays as the driver had it.
  const uint32_t heldSpeed = dcb.BaudRate;
  dcb.BaudRate = speed;
  dcb.fOutxCtsFlow = 0;
  dcb.fOutxDsrFlow = 0;
  dcb.fDtrControl = kDtrControlEnable;
  dcb.fDsrSensitivity = 0;
  dcb.fOutX = 1;
  dcb.fInX = 1;
  dcb.XonLim = 100;
  dcb.XoffLim = 100;
  dcb.ByteSize = 8;
  dcb.Parity = kNoParity;
  dcb.StopBits = kOneStopBit;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  if (m_rComm.SetCommState(m_hComm, dcb)) return true;
  const uint32_t error = m_rComm.GetLastError();
  if (speedMayBeRefused && RefusesOnlyTheSpeed(dcb, heldSpeed, error)) {
    Close();
    return false;
  }
  ThrowSerialException(m_rComm, error);
}

// A 16550 UART tops out at 115200, and its driver refuses a faster speed (or,
// on Linux, keeps the old one) although every other setting is fine. The same
// settings taken at the speed the port already runs tell such a refusal from
// one of the settings themselves.
bool CSerialPort::RefusesOnlyTheSpeed(Dcb dcb, uint32_t heldSpeed, uint32_t error) {
  if (error != m_rComm.InvalidParameterError() || heldSpeed == dcb.BaudRate) return false;
  dcb.BaudRate = heldSpeed;
  return m_rComm.SetCommState(m_hComm, dcb);
}

void CSerialPort::Close() {
  if (m_hComm == kInvalidCommHandle) return;
  m_rComm.CloseHandle(m_hComm);
  m_hComm = kInvalidCommHandle;
  if (m_hEvent != kNullCommHandle) {
    m_rComm.CloseHandle(m_hEvent);
    m_hEvent = kNullCommHandle;
  }
}

void CSerialPort::OnCompletion(uint32_t, uint32_t, CommOverlapped* overlapped) {
  delete overlapped;
}

}  // namespace halvorn

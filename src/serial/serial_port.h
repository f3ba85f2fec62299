// CSerialPort: exclusive, blocking access to one serial port with fixed
// framing (8N1, XON/XOFF, DTR on); CSerialException: the failure of any
// serial call, carrying the platform's error code.
#pragma once

#include <cstdint>

#include "serial/comm.h"
#include "text/object.h"

namespace halvorn {

class CSerialException : public CException {
 public:
  static const CRuntimeClass classCSerialException;

  // comm gives the message texts; it must outlive the exception.
  CSerialException(CommApi& comm, uint32_t error) : m_dwError(error), m_pComm(&comm) {}
  const CRuntimeClass* GetRuntimeClass() const override { return &classCSerialException; }

  // The system's text for m_dwError, cut to capacity - 1 characters; false and
  // an empty text when the system has none. The help context is always 0.
  bool GetErrorMessage(char16_t* text, uint32_t capacity,
                       uint32_t* helpContext = nullptr) const override;

  uint32_t m_dwError;

 protected:
  ~CSerialException() override = default;

 private:
  CommApi* m_pComm;
};

// Throws a new CSerialException*; a code of 0 stands for comm's last error.
[[noreturn]] void ThrowSerialException(CommApi& comm, uint32_t error = 0);

// The record an overlapped transfer would complete with.
struct CommOverlapped {
  uintptr_t Internal = 0;
  uintptr_t InternalHigh = 0;
  uint32_t Offset = 0;
  uint32_t OffsetHigh = 0;
  CommHandle hEvent = kNullCommHandle;
};

class CSerialPort {
 public:
  explicit CSerialPort(CommApi& comm);
  virtual ~CSerialPort();
  CSerialPort(const CSerialPort&) = delete;
  CSerialPort& operator=(const CSerialPort&) = delete;

  // Opens portName (a device path such as \\.\COM1) at speed, replacing a port
  // already open. Raises CSerialException*; the port is closed when the open
  // itself failed and stays open when only the settings were refused.
  void Open(const char16_t* portName, uint32_t speed);
  // As Open, but a speed that the driver cannot run is no failure: false, with
  // the port closed again. Settings the driver refuses at the speed it already
  // runs are refused for another reason, and that still raises.
  bool OpenIfSpeedRuns(const char16_t* portName, uint32_t speed);
  void Close();

  // Completion of an overlapped transfer: releases its record. Nothing in the
  // tool starts one, since the port is always opened for blocking transfers.
  virtual void OnCompletion(uint32_t errorCode, uint32_t bytesTransferred,
                            CommOverlapped* overlapped);

  CommHandle m_hComm;
  CommHandle m_hEvent;
  uintptr_t m_hKernel32;
  uintptr_t m_lpfnCancelIo;

 private:
  bool OpenPort(const char16_t* portName, uint32_t speed, bool speedMayBeRefused);
  bool RefusesOnlyTheSpeed(Dcb dcb, uint32_t heldSpeed, uint32_t error);

  CommApi& m_rComm;
};

}  // namespace halvorn

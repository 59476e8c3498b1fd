#include "link/win32_serial_port.h"

#include "link/platform_serial_port.h"

namespace axtune {
namespace {

std::string systemMessage(DWORD error) {
  char text[256] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                      error, 0, text, sizeof text, nullptr);
  std::string message(text, length);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
    message.pop_back();
  }
  if (message.empty()) message = "Windows error " + std::to_string(error);
  return message;
}

DWORD clampToDword(uint64_t value) {
  return value > MAXDWORD ? MAXDWORD : static_cast<DWORD>(value);
}

}  // namespace

PortOpenError ClassifyOpenError(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_UNIT:
      return PortOpenError::NotFound;
    // A COM port that another program holds answers "access denied".
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
      return PortOpenError::Busy;
    default:
      return PortOpenError::Other;
  }
}

DCB BuildDeviceControlBlock(const DCB& found, const SerialSettings& settings) {
  DCB dcb = found;
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = static_cast<DWORD>(settings.baudRate);
  dcb.fBinary = TRUE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fDtrControl = settings.dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fTXContinueOnXoff = TRUE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fRtsControl = settings.rts ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
  dcb.fAbortOnError = settings.abortOnError ? TRUE : FALSE;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  if (!settings.keepParityCheckAndDsrFlow) {
    dcb.fParity = FALSE;
    dcb.fOutxDsrFlow = FALSE;
  }
  return dcb;
}

std::unique_ptr<SerialPort> createPlatformSerialPort(const std::string& device) {
  return std::make_unique<Win32SerialPort>(device);
}

Win32SerialPort::Win32SerialPort(std::string device) : device_(std::move(device)) {}

Win32SerialPort::~Win32SerialPort() {
  close();
}

bool Win32SerialPort::failOpen(PortOpenError error, DWORD osError) {
  openError_ = error;
  errorText_ = device_ + ": " + systemMessage(osError);
  if (handle_ != INVALID_HANDLE_VALUE) {
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }
  return false;
}

bool Win32SerialPort::open(const SerialSettings& settings) {
  if (handle_ != INVALID_HANDLE_VALUE) close();
  openError_ = PortOpenError::None;
  errorText_.clear();
  haveSavedTimeouts_ = false;

  const DWORD share = settings.exclusive ? 0 : (FILE_SHARE_READ | FILE_SHARE_WRITE);
  handle_ =
      CreateFileA(device_.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle_ == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return failOpen(ClassifyOpenError(error), error);
  }

  DCB found{};
  found.DCBlength = sizeof found;
  if (!GetCommState(handle_, &found)) return failOpen(PortOpenError::BadSettings, GetLastError());
  savedState_ = found;
  DCB dcb = BuildDeviceControlBlock(found, settings);
  if (!SetCommState(handle_, &dcb)) return failOpen(PortOpenError::BadSettings, GetLastError());
  if (GetCommTimeouts(handle_, &savedTimeouts_)) haveSavedTimeouts_ = true;
  restoreOnClose_ = settings.restoreOnClose;
  baudRate_ = settings.baudRate;
  return true;
}

bool Win32SerialPort::close() {
  if (handle_ == INVALID_HANDLE_VALUE) return true;
  if (restoreOnClose_) {
    SetCommState(handle_, &savedState_);
    if (haveSavedTimeouts_) SetCommTimeouts(handle_, &savedTimeouts_);
  }
  if (!CloseHandle(handle_)) return false;
  handle_ = INVALID_HANDLE_VALUE;
  return true;
}

bool Win32SerialPort::setTimeouts(const SerialTimeouts& timeouts) {
  if (handle_ == INVALID_HANDLE_VALUE) return false;
  COMMTIMEOUTS t{};
  if (timeouts.readPerByteMs == 0 && timeouts.readConstantMs == 0) {
    t.ReadIntervalTimeout = MAXDWORD;  // return at once with what has arrived
  } else {
    t.ReadIntervalTimeout = 0;
    t.ReadTotalTimeoutMultiplier = timeouts.readPerByteMs;
    t.ReadTotalTimeoutConstant = timeouts.readConstantMs;
  }
  t.WriteTotalTimeoutMultiplier = timeouts.writePerByteMs;
  t.WriteTotalTimeoutConstant = timeouts.writeConstantMs;
  return SetCommTimeouts(handle_, &t) != FALSE;
}

size_t Win32SerialPort::read(uint8_t* buffer, size_t n) {
  if (handle_ == INVALID_HANDLE_VALUE || buffer == nullptr || n == 0) return 0;
  DWORD got = 0;
  if (!ReadFile(handle_, buffer, clampToDword(n), &got, nullptr)) return 0;
  return got;
}

size_t Win32SerialPort::write(const uint8_t* data, size_t n) {
  if (handle_ == INVALID_HANDLE_VALUE || data == nullptr || n == 0) return 0;
  DWORD sent = 0;
  if (!WriteFile(handle_, data, clampToDword(n), &sent, nullptr)) return 0;
  return sent;
}

bool Win32SerialPort::purge() {
  return handle_ != INVALID_HANDLE_VALUE &&
         PurgeComm(handle_, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR) != FALSE;
}

bool Win32SerialPort::clearErrors() {
  if (handle_ == INVALID_HANDLE_VALUE) return false;
  DWORD errors = 0;
  return ClearCommError(handle_, &errors, nullptr) != FALSE;
}

bool Win32SerialPort::setDtr(bool on) {
  return handle_ != INVALID_HANDLE_VALUE && EscapeCommFunction(handle_, on ? SETDTR : CLRDTR) != FALSE;
}

bool Win32SerialPort::setRts(bool on) {
  return handle_ != INVALID_HANDLE_VALUE && EscapeCommFunction(handle_, on ? SETRTS : CLRRTS) != FALSE;
}

bool Win32SerialPort::modemStatus(ModemStatus& status) {
  DWORD bits = 0;
  if (handle_ == INVALID_HANDLE_VALUE || !GetCommModemStatus(handle_, &bits)) return false;
  status.carrier = (bits & MS_RLSD_ON) != 0;
  status.dsr = (bits & MS_DSR_ON) != 0;
  status.cts = (bits & MS_CTS_ON) != 0;
  status.ring = (bits & MS_RING_ON) != 0;
  return true;
}

bool Win32SerialPort::setBaudRate(int rate) {
  if (handle_ == INVALID_HANDLE_VALUE || rate <= 0) return false;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(handle_, &dcb)) return false;
  dcb.BaudRate = static_cast<DWORD>(rate);
  if (!SetCommState(handle_, &dcb)) return false;
  baudRate_ = rate;
  return true;
}

size_t Win32SerialPort::bytesWaiting() {
  // The queue length comes only with ClearCommError, which also resets the line-error state.
  if (handle_ == INVALID_HANDLE_VALUE) return 0;
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(handle_, &errors, &status)) return 0;
  return status.cbInQue;
}

}  // namespace axtune

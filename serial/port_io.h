#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "serial/comm_types.h"

namespace kavro {

// Wakes one worker out of its waits on the port. A signal given while nobody waits is kept until
// the next wait, so a worker that tests its flags and then waits never misses one.
class PortWaker {
 public:
  virtual ~PortWaker() = default;
  virtual void Signal() = 0;  // any thread
  virtual void Wait() = 0;    // until signalled; consumes the signal
};

enum class PortWait { Ready, Woken, TimedOut, Gone };

// What one read of the device gave.
struct InputBatch {
  std::vector<uint8_t> data;  // decoded data bytes, in arrival order
  uint32_t breaks = 0;        // breaks seen on the line
  bool gone = false;          // the device went away: it will never give input again
  void Clear() {
    data.clear();
    breaks = 0;
    gone = false;
  }
};

// One open serial device: the only place that talks to the operating system. The component uses
// it from three threads: configuration, purges, modem lines and breaks from the owner thread;
// WriteSome/WaitWritable from the transmit thread; WaitInput/ReadInput from the receive thread.
// The caller serialises PurgeOutput with WriteSome, and PurgeInput with ReadInput.
class SerialPortIo {
 public:
  static constexpr long kWouldBlock = -1;
  static constexpr long kFailed = -2;

  virtual ~SerialPortIo() = default;

  // The system's handle of the device (a file descriptor here).
  virtual uint32_t NativeHandle() const = 0;
  // Restores the device's earlier settings and gives it up; later calls fail harmlessly.
  virtual void Close() = 0;

  // Configuration; each gives false when the device refuses the values.
  virtual bool SetQueueSizes(int32_t inputBytes, int32_t outputBytes) = 0;
  virtual bool Configure(const LineSettings& settings) = 0;
  virtual bool SetTimeouts(int32_t readMs, int32_t writeMs) = 0;

  // Discards what waits in the driver's output or input queue.
  virtual void PurgeOutput() = 0;
  virtual void PurgeInput() = 0;
  // Bytes written to the device that the driver has not put on the line yet (0 when the device
  // cannot tell, as a pseudo-terminal cannot).
  virtual int32_t OutputQueueLength() = 0;

  // A waker for one worker; nullptr when the system cannot make one.
  virtual std::unique_ptr<PortWaker> NewWaker() = 0;

  // Transmit side. WriteSome writes without blocking and gives the number of bytes taken,
  // kWouldBlock when the device takes nothing now, or kFailed.
  virtual long WriteSome(const uint8_t* data, size_t size) = 0;
  // Waits until the device takes output again (Ready), the waker is signalled (Woken),
  // timeoutMs have passed (TimedOut; a negative time-out never ends) or the device is gone.
  virtual PortWait WaitWritable(PortWaker& waker, int timeoutMs) = 0;

  // Receive side. WaitInput waits for input or a hang-up (only when wantInput) or the waker.
  virtual PortWait WaitInput(PortWaker& waker, bool wantInput) = 0;
  // Reads without blocking what the device holds, at most maxBytes as the driver delivers them.
  virtual void ReadInput(InputBatch& batch, size_t maxBytes) = 0;
  // Overrun, parity and framing errors seen since the last call, as kCommErr* flags.
  virtual uint32_t TakeLineErrors() = 0;

  // Modem lines and breaks; false when the device has no such control.
  virtual bool SetRts(bool on) = 0;
  virtual bool SetDtr(bool on) = 0;
  virtual bool SetBreak(bool on) = 0;
  virtual bool GetModemStatus(uint32_t& status) = 0;  // kComm*On bits
};

// Longest device path accepted; longer names are refused rather than cut.
inline constexpr size_t kMaxDevicePath = 4095;

// Opens a serial device for this process alone; nullptr when it is missing, busy, not a
// terminal or its name is empty or too long, with the system's reason in `reason` when given.
std::unique_ptr<SerialPortIo> OpenSerialPort(const std::string& devicePath,
                                             std::string* reason = nullptr);

}  // namespace kavro

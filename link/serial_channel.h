// What the controller link needs of a serial port.
#pragma once

#include <functional>

namespace kavro {

class SerialChannel {
 public:
  // Called on the GUI thread with the number of bytes waiting (never 0).
  using ReceiveHandler = std::function<void(int size)>;
  // Called on the GUI thread, once, when the open device went away (an adapter pulled out).
  using GoneHandler = std::function<void()>;

  virtual ~SerialChannel() = default;

  // Takes effect at the next PortOpen.
  virtual void SetPortNo(int port) = 0;
  // Opens the port; throws the serial component's error when it cannot be opened.
  virtual void PortOpen() = 0;
  virtual void PortClose() = 0;
  // Queues bytes for sending in call order; false when the port is closed.
  virtual bool TransBlock(const unsigned char* data, int length) = 0;
  // Reads up to `count` bytes already received; the number read, or -1.
  virtual int ReceiveBlock(unsigned char* buffer, int count) = 0;
  // Discard what is queued for sending / what has been received and not read.
  virtual void ClearTransBuf() = 0;
  virtual void ClearReceiveBuf() = 0;
  // Bytes queued and not yet written to the line.
  virtual int TransLength() = 0;

  virtual void SetReceiveHandler(ReceiveHandler handler) = 0;
  virtual void SetGoneHandler(GoneHandler handler) = 0;
};

}  // namespace kavro

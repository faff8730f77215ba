#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "serial/comm_error.h"
#include "serial/comm_types.h"
#include "serial/dispatcher.h"

namespace kavro {

class TCustomCommX;
class TCommTransThread;
class TCommReceiveThread;
struct CommSession;

using TCommReceiveEvent = std::function<void(TCustomCommX* Sender, int32_t ReceiveSize)>;
using TCommBreakEvent = std::function<void(TCustomCommX* Sender)>;
using TCommErrEvent = std::function<void(TCustomCommX* Sender, uint32_t ErrorState)>;

// A serial port opened by number. Bytes go out through a transmit thread, so sending never
// blocks on the line; arrivals, breaks and line errors come back as events on the owner thread
// (the one that handed in the dispatcher), while the reporting worker waits for the handler.
// Every operation is for the owner thread only.
class TCustomCommX {
 public:
  explicit TCustomCommX(OwnerDispatcher& dispatcher);
  virtual ~TCustomCommX();
  TCustomCommX(const TCustomCommX&) = delete;
  TCustomCommX& operator=(const TCustomCommX&) = delete;

  // Opens and configures the port and starts both threads; raises ECommError on failure, and
  // then the port is closed.
  void PortOpen();
  // Stops and joins the threads and closes the port; nothing if closed.
  void PortClose();

  // Properties. Each setter stores the value first; while the port is open it also applies it
  // and raises its own ECommError when the device refuses.
  int32_t PortNo() const { return portNo_; }
  void SetPortNo(int32_t value);
  int32_t BitRate() const { return bitRate_; }
  void SetBitRate(int32_t value);
  int32_t CharSize() const { return charSize_; }
  void SetCharSize(int32_t value);
  TCommParityBits ParityBit() const { return parityBit_; }
  void SetParityBit(TCommParityBits value);
  TCommStopBits StopBit() const { return stopBit_; }
  void SetStopBit(TCommStopBits value);
  TCommFlowCtrls FlowCtrl() const { return flowCtrl_; }
  void SetFlowCtrl(TCommFlowCtrls value);
  int32_t TimeOutTrans() const { return timeOutTrans_; }
  void SetTimeOutTrans(int32_t ms);
  int32_t TimeOutReceive() const { return timeOutReceive_; }
  void SetTimeOutReceive(int32_t ms);
  char XonChar() const { return xonChar_; }
  void SetXonChar(char value);
  char XoffChar() const { return xoffChar_; }
  void SetXoffChar(char value);
  int32_t BufLenTrans() const { return bufLenTrans_; }
  void SetBufLenTrans(int32_t bytes);
  int32_t BufLenReceive() const { return bufLenReceive_; }
  void SetBufLenReceive(int32_t bytes);
  // The system handle of the open port; all bits set while closed.
  uint32_t Handle() const;

  TCommReceiveEvent OnReceive;
  TCommBreakEvent OnBreak;
  TCommErrEvent OnError;

  // Apply the stored time-outs, or queue sizes; nothing while closed.
  void SetTimeOut();
  void SetBufferLength();

  // Copies the bytes into blocks of at most BufLenTrans bytes and queues them; at most 32
  // blocks wait at any time, beyond that it waits, serving the owner's pending events. True
  // when everything was queued (or length is 0); false when the port is or becomes closed.
  virtual bool TransBlock(const uint8_t* data, int32_t length);
  bool TransString(const std::string& text);
  bool TransChar(char c);
  // Reads up to `count` received bytes into `buffer`. Waits (serving the owner's pending events)
  // until `count` bytes are there or TimeOutReceive ms have passed; the number read, or -1 when
  // the port is closed or the buffer is null.
  virtual int32_t ReceiveBlock(uint8_t* buffer, int32_t count);
  // One byte as 0 to 255, or -1 when none was read.
  int32_t ReceiveChar();

  // Discards everything queued for sending and waits until the queue is empty.
  void ClearTransBuf();
  void ClearReceiveBuf();
  // Bytes queued and not yet written; received bytes waiting to be read. 0 while closed.
  int32_t GetTransLength();
  int32_t GetReceiveLength();
  // Blocks queued and not yet written; 0 while closed.
  int32_t GetTransBlockCount();
  // Bytes the driver holds that have not reached the line yet; closing the port purges them,
  // so a caller that must not lose its last frame waits for 0 first. 0 while closed.
  int32_t GetDriverTransLength();

  void SetRtsSignal(bool on);
  void SetDtrSignal(bool on);
  // True when any modem-status bit of `mask` (kComm*On) is set; false while closed or when the
  // device has no modem lines.
  bool IsSignal(uint32_t mask);
  bool IsCtsSignal() { return IsSignal(kCommCtsOn); }
  bool IsDsrSignal() { return IsSignal(kCommDsrOn); }
  bool IsRingSignal() { return IsSignal(kCommRingOn); }
  bool IsRlsdSignal() { return IsSignal(kCommRlsdOn); }
  // Holds a break on the line for 300 ms.
  void SendBreak();

  // Replaces the pauses that belong to the line's behaviour (the half-duplex switch, the break)
  // so that tests need not wait; takes effect at the next PortOpen for the threads.
  void SetPauseFunction(std::function<void(int32_t ms)> pause);
  // How long PortClose waits for each worker thread to end.
  void SetJoinBound(std::chrono::milliseconds bound) { joinBound_ = bound; }

 protected:
  void ThreadCreate();

  // Events, run on the owner thread by the workers' notices.
  void ReceiveEvent();
  void BreakEvent();
  void ErrEvent(uint32_t errorFlags);

 private:
  friend class TCommTransThread;
  friend class TCommReceiveThread;

  bool IsOpen() const { return session_ != nullptr; }
  void Configure(const char* message);
  void ApplyBitRate();
  void ApplyCharSize();
  void ApplyParityBit();
  void ApplyStopBit();
  void ApplyFlowCtrl();
  void ApplyXonChar();
  void ApplyXoffChar();
  int32_t TakeInput(CommSession& session, uint8_t* buffer, int32_t count);
  void PullInput(CommSession& session);

  OwnerDispatcher& dispatcher_;
  std::function<void(int32_t ms)> pause_;
  std::chrono::milliseconds joinBound_{5000};

  std::shared_ptr<CommSession> session_;  // set while open
  std::shared_ptr<TCommTransThread> transThread_;
  std::shared_ptr<TCommReceiveThread> receiveThread_;

  int32_t portNo_ = 1;
  int32_t bitRate_ = 9600;
  int32_t charSize_ = 8;
  TCommParityBits parityBit_ = cpbNone;
  TCommStopBits stopBit_ = csb1;
  TCommFlowCtrls flowCtrl_ = cfcRtsCts;
  int32_t timeOutTrans_ = 3000;
  int32_t timeOutReceive_ = 3000;
  char xonChar_ = 0x11;
  char xoffChar_ = 0x13;
  int32_t bufLenTrans_ = 2048;
  int32_t bufLenReceive_ = 2048;

  LineSettings dcb_;  // the block applied to the device, edited field by field
};

// The component as programs use it: every property and event of TCustomCommX.
class TCommX : public TCustomCommX {
 public:
  using TCustomCommX::TCustomCommX;
};

}  // namespace kavro

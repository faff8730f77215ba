#include "serial/commx.h"

#include <algorithm>
#include <new>
#include <thread>

#include "serial/comm_receive_thread.h"
#include "serial/comm_session.h"
#include "serial/comm_trans_thread.h"
#include "serial/port_table.h"

namespace kavro {

namespace {
constexpr uint32_t kClosedHandle = 0xFFFFFFFF;
// Upper bound of one owner-thread wait; the workers wake it earlier when there is news.
constexpr std::chrono::milliseconds kWaitSlice{100};
// Step of a wait that nothing can end early (see ReceiveBlock).
constexpr std::chrono::milliseconds kPullStep{1};

void RealPause(int32_t ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int32_t CharTimeFor(int32_t bitRate) { return 1000 / (bitRate / 10) + 1; }
}  // namespace

TCustomCommX::TCustomCommX(OwnerDispatcher& dispatcher)
    : dispatcher_(dispatcher), pause_(RealPause) {}

TCustomCommX::~TCustomCommX() { PortClose(); }

void TCustomCommX::SetPauseFunction(std::function<void(int32_t ms)> pause) {
  pause_ = pause ? std::move(pause) : std::function<void(int32_t)>(RealPause);
}

uint32_t TCustomCommX::Handle() const {
  return session_ ? session_->port->NativeHandle() : kClosedHandle;
}

// --- opening and closing ---

void TCustomCommX::PortOpen() {
  if (IsOpen()) throw ECommError(comm_msg::kAlreadyOpen);
  std::string reason;
  auto port = OpenSerialPort(PortTable::DevicePath(portNo_), &reason);
  if (!port) throw ECommError(comm_msg::kOpenFailed, PortTable::Describe(portNo_) + ": " + reason);
  session_ = std::make_shared<CommSession>(this, dispatcher_, std::move(port), pause_);
  session_->flowCtrl = flowCtrl_;
  session_->timeOutTransMs = timeOutTrans_;
  try {
    SetBufferLength();
    session_->port->PurgeOutput();
    session_->port->PurgeInput();
    // Start from a clean block, as reading the device's state would give: a value the device
    // refused during an earlier opening is not carried over.
    dcb_ = LineSettings{};
    ApplyBitRate();
    ApplyCharSize();
    ApplyParityBit();
    ApplyStopBit();
    ApplyFlowCtrl();
    SetTimeOut();
    ApplyXonChar();
    ApplyXoffChar();
    ThreadCreate();
  } catch (...) {
    PortClose();
    throw;
  }
}

void TCustomCommX::ThreadCreate() {
  transThread_.reset();
  receiveThread_.reset();
  CommSession& s = *session_;
  // The character time divides by BitRate / 10.
  if (bitRate_ < 10) throw ECommError(comm_msg::kTransThread);
  auto transWaker = s.port->NewWaker();
  if (!transWaker) throw ECommError(comm_msg::kTransThread);
  auto trans = std::make_shared<TCommTransThread>(session_, std::move(transWaker));
  trans->SetCharTime(CharTimeFor(bitRate_));
  if (!trans->Start()) throw ECommError(comm_msg::kTransThread);
  transThread_ = trans;

  auto receiveWaker = s.port->NewWaker();
  if (!receiveWaker) throw ECommError(comm_msg::kReceiveThread);
  auto receive = std::make_shared<TCommReceiveThread>(session_, std::move(receiveWaker));
  if (!receive->Start()) throw ECommError(comm_msg::kReceiveThread);
  receiveThread_ = receive;
}

void TCustomCommX::PortClose() {
  if (!IsOpen()) return;
  SetDtrSignal(false);
  SetRtsSignal(false);
  ClearTransBuf();
  ClearReceiveBuf();

  std::shared_ptr<CommSession> session = std::move(session_);
  auto trans = std::move(transThread_);
  auto receive = std::move(receiveThread_);
  if (trans) trans->Terminate();
  if (receive) receive->Terminate();
  // Releases a worker that waits for the owner (even for a handler that called PortClose), and
  // keeps notices already on their way from ever running.
  session->gate->Close();
  bool joined = true;
  if (trans) joined = trans->Join(joinBound_) && joined;
  if (receive) joined = receive->Join(joinBound_) && joined;
  // A worker that did not end keeps the session, and with it the device, until it does.
  if (joined) session->port->Close();
}

void TCustomCommX::SetPortNo(int32_t value) {
  portNo_ = value;
  if (IsOpen()) {
    PortClose();
    PortOpen();
  }
}

// --- configuration ---

void TCustomCommX::Configure(const char* message) {
  if (!session_->port->Configure(dcb_)) throw ECommError(message);
}

void TCustomCommX::ApplyBitRate() {
  dcb_.bitRate = bitRate_;
  Configure(comm_msg::kBitRate);
  if (transThread_) transThread_->SetCharTime(CharTimeFor(bitRate_));
}

void TCustomCommX::ApplyCharSize() {
  dcb_.byteSize = static_cast<uint8_t>(charSize_ & 0xFF);
  Configure(comm_msg::kCharSize);
}

void TCustomCommX::ApplyParityBit() {
  if (parityBit_ > cpbEven) return;  // kept, never applied
  dcb_.parity = parityBit_;
  Configure(comm_msg::kParity);
}

void TCustomCommX::ApplyStopBit() {
  if (stopBit_ > csb2) return;  // kept, never applied
  dcb_.stopBits = stopBit_;
  Configure(comm_msg::kStopBits);
}

void TCustomCommX::ApplyFlowCtrl() {
  dcb_.flowCtrl = flowCtrl_ <= cfcNone ? flowCtrl_ : cfcNone;
  Configure(comm_msg::kFlowCtrl);
}

void TCustomCommX::ApplyXonChar() {
  dcb_.xonChar = static_cast<uint8_t>(xonChar_);
  Configure(comm_msg::kXonChar);
}

void TCustomCommX::ApplyXoffChar() {
  dcb_.xoffChar = static_cast<uint8_t>(xoffChar_);
  Configure(comm_msg::kXoffChar);
}

void TCustomCommX::SetBitRate(int32_t value) {
  bitRate_ = value;
  if (!IsOpen()) return;
  // Below 10 bit/s the transmit thread's character time cannot be computed.
  if (value < 10) throw ECommError(comm_msg::kBitRate);
  ApplyBitRate();
}

void TCustomCommX::SetCharSize(int32_t value) {
  charSize_ = value;
  if (IsOpen()) ApplyCharSize();
}

void TCustomCommX::SetParityBit(TCommParityBits value) {
  parityBit_ = value;
  if (IsOpen()) ApplyParityBit();
}

void TCustomCommX::SetStopBit(TCommStopBits value) {
  stopBit_ = value;
  if (IsOpen()) ApplyStopBit();
}

void TCustomCommX::SetFlowCtrl(TCommFlowCtrls value) {
  flowCtrl_ = value;
  if (!IsOpen()) return;
  session_->flowCtrl = value;
  ApplyFlowCtrl();
}

void TCustomCommX::SetTimeOutTrans(int32_t ms) {
  timeOutTrans_ = ms;
  if (!IsOpen()) return;
  session_->timeOutTransMs = ms;
  SetTimeOut();
}

void TCustomCommX::SetTimeOutReceive(int32_t ms) {
  timeOutReceive_ = ms;
  if (IsOpen()) SetTimeOut();
}

void TCustomCommX::SetXonChar(char value) {
  xonChar_ = value;
  if (IsOpen()) ApplyXonChar();
}

void TCustomCommX::SetXoffChar(char value) {
  xoffChar_ = value;
  if (IsOpen()) ApplyXoffChar();
}

void TCustomCommX::SetBufLenTrans(int32_t bytes) {
  bufLenTrans_ = bytes;
  if (IsOpen()) SetBufferLength();
}

void TCustomCommX::SetBufLenReceive(int32_t bytes) {
  bufLenReceive_ = bytes;
  if (!IsOpen()) return;
  SetBufferLength();
  ApplyFlowCtrl();
}

void TCustomCommX::SetTimeOut() {
  if (!IsOpen()) return;
  if (!session_->port->SetTimeouts(timeOutReceive_, timeOutTrans_)) {
    throw ECommError(comm_msg::kTimeOut);
  }
}

void TCustomCommX::SetBufferLength() {
  if (!IsOpen()) return;
  CommSession& s = *session_;
  if (!s.port->SetQueueSizes(bufLenReceive_, bufLenTrans_)) {
    throw ECommError(comm_msg::kBufferLength);
  }
  std::lock_guard lock(s.inputLock);
  s.inputCapacity = bufLenReceive_;
  if (s.inputStarved && receiveThread_) receiveThread_->Wake();
}

// --- sending ---

bool TCustomCommX::TransBlock(const uint8_t* data, int32_t length) {
  if (length == 0) return true;
  if (length < 0 || data == nullptr) return false;
  const std::shared_ptr<CommSession> session = session_;
  while (length > 0) {
    // Tested again on every pass: the port may close while this waits.
    if (!session || session_ != session || !transThread_) return false;
    // A block must hold at least a byte, or the bytes never advance.
    if (bufLenTrans_ <= 0) return false;
    CommSession& s = *session;
    bool full;
    {
      std::lock_guard lock(s.countLock);
      full = s.queuedBlocks >= kMaxQueuedBlocks;
      s.ownerWaitsForRoom = full;
    }
    if (full) {
      dispatcher_.WaitAndProcess(kWaitSlice);
      s.ownerWaitsForRoom = false;
      continue;
    }
    const int32_t size = std::min(length, bufLenTrans_);
    try {
      std::vector<uint8_t> block(data, data + size);
      bool idle;
      {
        std::lock_guard lock(s.countLock);
        s.blocks.push_back(std::move(block));
        s.queuedBytes += size;
        ++s.queuedBlocks;
        idle = s.transIdle;
        s.transIdle = false;
      }
      if (idle) transThread_->Wake();
    } catch (const std::bad_alloc&) {
      // A block that cannot be copied is left out of the transmission.
    }
    data += size;
    length -= size;
  }
  return true;
}

bool TCustomCommX::TransString(const std::string& text) {
  if (text.empty()) return true;
  return TransBlock(reinterpret_cast<const uint8_t*>(text.data()),
                    static_cast<int32_t>(std::min<size_t>(text.size(), INT32_MAX)));
}

bool TCustomCommX::TransChar(char c) {
  const uint8_t byte = static_cast<uint8_t>(c);
  return TransBlock(&byte, 1);
}

void TCustomCommX::ClearTransBuf() {
  if (!IsOpen()) return;
  CommSession& s = *session_;
  if (!transThread_) {
    std::lock_guard lock(s.writeLock);
    s.port->PurgeOutput();
    return;
  }
  transThread_->SetDiscard(true);
  // Wakes the thread out of a write wait, and out of a wait for an error notice that this
  // thread, busy here, would not serve.
  transThread_->Wake();
  s.gate->Wake();
  {
    std::lock_guard lock(s.writeLock);
    s.port->PurgeOutput();
  }
  {
    std::unique_lock lock(s.countLock);
    s.countChanged.wait(lock, [&] { return s.queuedBytes == 0; });
  }
  {
    // A write issued just before the discard was seen.
    std::lock_guard lock(s.writeLock);
    s.port->PurgeOutput();
  }
  transThread_->SetDiscard(false);
}

int32_t TCustomCommX::GetTransLength() {
  if (!IsOpen()) return 0;
  std::lock_guard lock(session_->countLock);
  return session_->queuedBytes;
}

int32_t TCustomCommX::GetTransBlockCount() {
  if (!IsOpen()) return 0;
  std::lock_guard lock(session_->countLock);
  return session_->queuedBlocks;
}

int32_t TCustomCommX::GetDriverTransLength() {
  if (!IsOpen()) return 0;
  return session_->port->OutputQueueLength();
}

// --- receiving ---

int32_t TCustomCommX::TakeInput(CommSession& s, uint8_t* buffer, int32_t count) {
  std::lock_guard lock(s.inputLock);
  const auto taken = static_cast<int32_t>(s.input.Take(buffer, static_cast<size_t>(count)));
  if (taken > 0 && s.inputStarved && receiveThread_) {
    s.inputStarved = false;
    receiveThread_->Wake();
  }
  return taken;
}

int32_t TCustomCommX::ReceiveBlock(uint8_t* buffer, int32_t count) {
  const std::shared_ptr<CommSession> session = session_;
  if (!session || !receiveThread_ || buffer == nullptr) return -1;
  if (count <= 0) return 0;
  int32_t got = TakeInput(*session, buffer, count);
  if (got == count || timeOutReceive_ <= 0) return got;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeOutReceive_);
  while (got < count && !session->gone) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) break;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
    if (session->receiverWaiting) {
      // Called from a handler that the receive thread waits for, so that thread reads nothing
      // now: take what the device holds directly, looking again every millisecond.
      PullInput(*session);
      if (session_ != session) return got > 0 ? got : -1;
      got += TakeInput(*session, buffer + got, count - got);
      if (got == count) break;
      dispatcher_.WaitAndProcess(std::min(kPullStep, left));
    } else {
      // Arrivals come as receive notices, which end the wait.
      dispatcher_.WaitAndProcess(std::min(kWaitSlice, left));
    }
    if (session_ != session || !receiveThread_) return got > 0 ? got : -1;
    got += TakeInput(*session, buffer + got, count - got);
  }
  return got;
}

void TCustomCommX::PullInput(CommSession& s) {
  InputBatch batch;
  {
    std::lock_guard lock(s.inputLock);
    const size_t size = s.input.size();
    const auto capacity = static_cast<size_t>(s.inputCapacity);
    if (size >= capacity) return;
    s.port->ReadInput(batch, capacity - size);
    s.input.Append(batch.data.data(), batch.data.size());
  }
  // Reported at once, in the receive thread's order. A device found gone is left for the
  // receive thread, which sees it again at its next wait.
  const uint32_t errors = s.port->TakeLineErrors();
  if (errors != 0) ErrEvent(errors);
  if (batch.breaks != 0) BreakEvent();
}

int32_t TCustomCommX::ReceiveChar() {
  uint8_t byte = 0;
  return ReceiveBlock(&byte, 1) == 1 ? byte : -1;
}

void TCustomCommX::ClearReceiveBuf() {
  if (!IsOpen()) return;
  CommSession& s = *session_;
  std::lock_guard lock(s.inputLock);
  s.port->PurgeInput();
  s.input.Clear();
  if (s.inputStarved && receiveThread_) {
    s.inputStarved = false;
    receiveThread_->Wake();
  }
}

int32_t TCustomCommX::GetReceiveLength() {
  if (!IsOpen()) return 0;
  std::lock_guard lock(session_->inputLock);
  return static_cast<int32_t>(session_->input.size());
}

// --- modem lines and breaks ---

void TCustomCommX::SetRtsSignal(bool on) {
  if (IsOpen()) session_->port->SetRts(on);
}

void TCustomCommX::SetDtrSignal(bool on) {
  if (IsOpen()) session_->port->SetDtr(on);
}

bool TCustomCommX::IsSignal(uint32_t mask) {
  if (!IsOpen()) return false;
  uint32_t status = 0;
  return session_->port->GetModemStatus(status) && (status & mask) != 0;
}

void TCustomCommX::SendBreak() {
  if (!IsOpen()) return;
  session_->port->SetBreak(true);
  pause_(300);
  if (IsOpen()) session_->port->SetBreak(false);
}

// --- events ---

void TCustomCommX::ReceiveEvent() {
  if (!IsOpen() || !OnReceive) return;
  // An earlier handler may have read everything already.
  const int32_t size = GetReceiveLength();
  if (size != 0) OnReceive(this, size);
}

void TCustomCommX::BreakEvent() {
  if (IsOpen() && OnBreak) OnBreak(this);
}

void TCustomCommX::ErrEvent(uint32_t errorFlags) {
  if (IsOpen() && OnError) OnError(this, errorFlags);
}

}  // namespace kavro

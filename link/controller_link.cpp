#include "link/controller_link.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <optional>
#include <vector>

#include "datafile/hex_text.h"
#include "datafile/layout.h"
#include "datafile/leading_decimal.h"
#include "datafile/pad_keys.h"
#include "datafile/records.h"
#include "datafile/store.h"
#include "link/code_table.h"
#include "link/link_messages.h"
#include "link/link_ui.h"
#include "link/serial_channel.h"
#include "link/tcp_channel.h"
#include "link/tick_source.h"
#include "serial/port_table.h"

namespace kavro {

namespace {

using namespace link_msg;
// Learn request and send ticks; on TCP every time-out is longer, and the call that opens the
// connection always gets the connecting time.
constexpr int kLearnTicks = 100;
constexpr int kSendTicks = 10;
constexpr int kLibrarySendTicks = 5;
constexpr int kInputTicks = 5;
constexpr int kRawTicks = 20;
constexpr int kConnectTicks = 100;
constexpr int kTcpExtraTicks = 20;
constexpr int kTicksPerSecond = 10;
// Held bytes beyond which an arrival is taken for garbage and the buffer is dropped.
constexpr int kReceiveGuard = 200;

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char text[64];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

// A hexadecimal field read like "%x": leading blanks, an optional sign, an optional "0x", then
// hex digits up to the first other character. Nothing when there is no digit at all. Values too
// large for an int come out as the largest int, which every range check refuses.
std::optional<long long> ScanHexField(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && IsTextSpace(text[pos])) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
  auto digit = [&](std::size_t at) { return at < text.size() ? HexDigitValue(text[at]) : -1; };
  // "0x" counts as a prefix only when a digit follows; otherwise the "0" is the number.
  if (digit(pos) == 0 && pos + 1 < text.size() && (text[pos + 1] == 'x' || text[pos + 1] == 'X') &&
      digit(pos + 2) >= 0)
    pos += 2;
  if (digit(pos) < 0) return std::nullopt;
  long long value = 0;
  constexpr long long kCap = std::numeric_limits<int>::max();
  for (; digit(pos) >= 0; ++pos) value = std::min(kCap, value * 16 + digit(pos));
  return negative ? -value : value;
}

}  // namespace

ControllerLink::ControllerLink(LinkUi& ui, CodeTable& codes, SerialChannel& serial, TcpChannel& tcp,
                               TickSource& ticks)
    : ui_(ui), codes_(codes), serial_(serial), tcp_(tcp), ticks_(ticks) {
  ticks_.SetTickHandler([this] { Timer1Timer(); });
  serial_.SetReceiveHandler([this](int size) { CommX1Receive(size); });
  tcp_.SetConnectHandler([this] { ClientSocket1Connect(); });
  tcp_.SetDisconnectHandler([this] { ClientSocket1Disconnect(); });
  tcp_.SetReadHandler([this] { ClientSocket1Read(); });
  serial_.SetGoneHandler([this] { SerialDeviceGone(); });
}

ControllerLink::~ControllerLink() {
  ticks_.SetTickHandler(nullptr);
  serial_.SetReceiveHandler(nullptr);
  serial_.SetGoneHandler(nullptr);
  tcp_.SetConnectHandler(nullptr);
  tcp_.SetDisconnectHandler(nullptr);
  tcp_.SetReadHandler(nullptr);
}

void ControllerLink::SetPortChoice(int choice) {
  port_choice_ = (choice >= 1 && choice <= kTcpPort) ? choice : 1;
}

void ControllerLink::SetTcpHost(const std::string& host) { tcp_.SetHost(host); }

void ControllerLink::SetTcpPort(int port) { tcp_.SetPort(port); }

bool ControllerLink::TransmitPending() const {
  if (link_port_ == kTcpPort) return !pending_line_.empty() || tcp_.BytesToWrite() > 0;
  if (link_port_ != kLinkClosed) return serial_.TransLength() > 0;
  return false;
}

void ControllerLink::Notify(Traffic traffic, std::span<const unsigned char> bytes) {
  if (observer_) observer_(traffic, bytes);
}

void ControllerLink::NotifyEnd(ExchangeEnd::Kind kind, int reply, std::string data) {
  if (end_observer_) end_observer_(ExchangeEnd{kind, reply, std::move(data)});
}

void ControllerLink::ShowBusy() { ui_.MsgOut(kBusy); }

// ---------------------------------------------------------------- sending

void ControllerLink::OpenLink(int& ticks) {
  link_port_ = port_choice_;
  reply_.count = 0;
  if (link_port_ == kTcpPort) {
    tcp_.Activate();
    ticks = kConnectTicks;
  } else {
    serial_.SetPortNo(link_port_);
    try {
      serial_.PortOpen();
    } catch (...) {
      // The exchange that wanted the port is over before it began; the link stays closed, so
      // the next frame tries to open the port again instead of answering "busy" for ever.
      ticks_.Stop();
      state_ = kIdle;
      expected_ = 0;
      link_port_ = kLinkClosed;
      throw;
    }
    serial_.TransBlock(kPreamble.data(), static_cast<int>(kPreamble.size()));
  }
}

void ControllerLink::BeginExchange(ExchangeState state, int expected,
                                   std::span<const unsigned char> frame, int ticks) {
  state_ = state;
  expected_ = expected;
  reply_.count = 0;
  RsOut(frame, ticks);
}

void ControllerLink::RsOut(std::span<const unsigned char> frame, int ticks) {
  if (ui_.ShownPage() == LinkPage::kIo) ui_.MsgOut(" S:" + BytesToHexText(frame));
  Notify(Traffic::kFrame, frame);

  const bool connecting = link_port_ == kLinkClosed && port_choice_ == kTcpPort;
  if (link_port_ == kLinkClosed) OpenLink(ticks);

  // An earlier exchange still counts its time-out: this frame is refused.
  if (ticks_.Enabled() && countdown_ != 0) {
    ui_.MsgOut(link_port_ == kTcpPort ? kTcpSendError : kSerialSendError);
    return;
  }
  if (ticks > 0) {
    countdown_ = link_port_ == kTcpPort ? ticks + kTcpExtraTicks : ticks;
    ticks_.Start();
  }

  if (link_port_ == kTcpPort) {
    std::optional<std::string> line = FrameToLine(frame);
    if (!line) return;
    if (connecting) {
      pending_line_ = std::move(*line);
    } else {
      pending_line_.clear();
      tcp_.SendText(*line);
    }
    return;
  }
  serial_.TransBlock(frame.data(), static_cast<int>(frame.size()));
}

void ControllerLink::Send(int key) {
  const bool code_list = ui_.ShownPage() == LinkPage::kCodeList;
  int code;
  if (code_list) {
    code = key + 10 * ui_.ListPage();
    ui_.SetCommentText(codes_.Comment(code));
  } else {
    code = key + ui_.PadBase();
  }

  if (learn_mode_) {
    if (Busy()) return ShowBusy();
    if (code_list && ui_.CommentText().empty()) return ui_.MsgOut(kCommentNothing);
    // A learn started here belongs to the main window, whatever a library learn left behind.
    library_ = false;
    learn_target_ = code;
    BeginExchange(kLearning, kLearnReplySize, LearnRequestFrame(), kLearnTicks);
    ui_.MsgOut(kPushController);
    return;
  }

  std::string data = codes_.Data(code);
  if (data.empty()) {
    if (data_file_name_.empty()) return ui_.MsgOut(kNoData);
    std::string value;
    ReadKeyValue(data_file_name_, kDataSection, RecordKey(code), value, "");
    // The record reader cuts a text longer than its slot on a character boundary.
    std::optional<RecordText> record = ReadRecordValue(value);
    if (!record || record->data.empty()) return ui_.MsgOut(kNoData);
    codes_.SetData(code, record->data);
    codes_.SetComment(code, record->comment);
    data = record->data;
  }

  ui_.MsgOut(Format("Send(%d)", code));
  // The converter leaves a trailing half byte after the counted ones and zeros beyond: the
  // frame carries them as they are.
  std::vector<unsigned char> bytes;
  if (HexTextToBytes(data, bytes) > static_cast<int>(kSignalBlockSize))
    return ui_.MsgOut(kDataLength);
  if (Busy()) return ShowBusy();
  library_ = false;
  BeginExchange(kIrSending, 1, IrSendFrame(bytes), kSendTicks);
}

SendIrDataResult ControllerLink::SendIrData(std::string_view data_text) {
  if (data_text.empty()) return kSendEmpty;
  std::vector<unsigned char> bytes;
  if (HexTextToBytes(data_text, bytes) > static_cast<int>(kSignalBlockSize)) return kSendTooLong;
  if (Busy()) return kSendBusy;
  library_ = true;
  BeginExchange(kIrSending, 1, IrSendFrame(bytes), kLibrarySendTicks);
  return kSendStarted;
}

SetLearnModeResult ControllerLink::SetLearnMode() {
  if (learn_mode_) return kLearnAlreadyOn;
  learn_target_ = 0;
  if (Busy()) return kLearnBusy;
  library_ = true;
  BeginExchange(kLearning, kLearnReplySize, LearnRequestFrame(), kLearnTicks);
  learn_mode_ = true;
  return kLearnStarted;
}

void ControllerLink::LearnL1Click() {
  learn_mode_ = !learn_mode_;
  // Learn mode off while a learn reply is awaited cancels that learn: a reply that comes later
  // must not replace the code of the key the user has given up on.
  if (!learn_mode_ && state_ == kLearning) AbortExchange();
  ui_.MsgOut(learn_mode_ ? kClickButton : "");
  if (ui_.ShownPage() == LinkPage::kCodeList) ui_.ShowLearnDisplay(learn_mode_);
  library_ = false;
}

void ControllerLink::CancelLearn() {
  const bool awaited = state_ == kLearning;
  if (awaited) AbortExchange();
  learn_mode_ = false;
  library_ = false;
  if (awaited) NotifyEnd(ExchangeEnd::Kind::kCancelled);
}

int ControllerLink::LearnSecondsLeft() const {
  if (state_ != kLearning || countdown_ <= 0) return 0;
  return (countdown_ + kTicksPerSecond - 1) / kTicksPerSecond;
}

// ---------------------------------------------------------------- time-out and closing

void ControllerLink::Timer1Timer() {
  if (countdown_ <= 0) return;
  if (--countdown_ > 0) {
    if (state_ == kLearning && countdown_ % kTicksPerSecond == 0)
      ui_.LearnCountdown(countdown_ / kTicksPerSecond);
    return;
  }
  ReportFailure(kTimeout);
  AbortExchange();
  NotifyEnd(ExchangeEnd::Kind::kTimeout);
}

void ControllerLink::SerialDeviceGone() {
  if (link_port_ == kLinkClosed || link_port_ == kTcpPort) return;
  const std::string text =
      std::string(kDeviceLost) + " " + PortTable::Describe(link_port_) + " disappeared";
  // No reply can come: waiting for the time-out would only keep the user waiting.
  AbortExchange();
  ReportFailure(text);
  NotifyEnd(ExchangeEnd::Kind::kDeviceGone);
}

void ControllerLink::ReportFailure(std::string_view text) {
  if (library_)
    ui_.LearnData(text);
  else
    ui_.MsgOut(text);
}

void ControllerLink::AbortExchange() {
  ticks_.Stop();
  learn_mode_ = false;
  state_ = kIdle;
  CloseLink();
}

void ControllerLink::CloseLink() {
  // A line held for a connection that never completed must not go to the next one.
  pending_line_.clear();
  held_reply_.clear();
  if (link_port_ == kLinkClosed) return;
  if (link_port_ == kTcpPort) {
    tcp_.Deactivate();
  } else {
    serial_.ClearTransBuf();
    serial_.ClearReceiveBuf();
    serial_.PortClose();
  }
  link_port_ = kLinkClosed;
}

void ControllerLink::Open() {
  if (link_port_ != kLinkClosed) return;
  int ticks = 0;
  OpenLink(ticks);
}

void ControllerLink::DisConnectD1Click() {
  ticks_.Stop();
  state_ = kIdle;
  expected_ = 0;
  reply_.count = 0;
  CloseLink();
}

void ControllerLink::EndExchange() {
  ticks_.Stop();
  state_ = kIdle;
  expected_ = 0;
  reply_.count = 0;
  if (link_port_ != kLinkClosed && link_port_ != kTcpPort) {
    serial_.ClearTransBuf();
    serial_.ClearReceiveBuf();
  }
}

// ---------------------------------------------------------------- receiving

void ControllerLink::CommX1Receive(int receive_size) {
  if (receive_size != 0) {
    if (reply_.count > kReceiveGuard) {
      reply_.count = 0;
      return;
    }
    const int room = ReplyBuffer::kSize - reply_.count;
    const int wanted = std::min(receive_size, room);
    if (wanted > 0) {
      unsigned char* at = reply_.bytes.data() + reply_.count;
      const int got = serial_.ReceiveBlock(at, wanted);
      if (got > 0) {
        reply_.count += std::min(got, wanted);
        Notify(Traffic::kReply, std::span<const unsigned char>(at, std::min(got, wanted)));
      }
    }
  }
  if (link_port_ != kLinkClosed) CommDataCheck();
}

void ControllerLink::ClientSocket1Read() {
  const int got = tcp_.Receive(socket_buffer_.data(), kSocketReadMax);
  if (got <= 0) return;
  const int n = std::min(got, kSocketReadMax);
  socket_buffer_[n] = '\0';
  Notify(Traffic::kReply, std::span<const unsigned char>(
                              reinterpret_cast<const unsigned char*>(socket_buffer_.data()), n));
  // One read is one text, dispatched on its first character; only a reply line cut off by the
  // network waits for its rest.
  std::string text = std::move(held_reply_);
  held_reply_.clear();
  text.append(socket_buffer_.data(), n);
  text.resize(std::min(text.size(), text.find('\0')));
  if (IsUnfinishedReplyLine(text)) {
    held_reply_ = std::move(text);
    return;
  }
  switch (RewriteTcpReply(text, reply_)) {
    case TcpReplyAction::kShowText: ui_.MsgOut(ShownServerText(text)); break;
    case TcpReplyAction::kShowMessage: ui_.MsgOut(kMessage); break;
    case TcpReplyAction::kParse: CommDataCheck(); break;
    case TcpReplyAction::kIgnore: break;
  }
}

void ControllerLink::ClientSocket1Connect() {
  if (pending_line_.empty()) return;
  const std::string line = std::move(pending_line_);
  pending_line_.clear();
  tcp_.SendText(line);
}

void ControllerLink::ClientSocket1Disconnect() { tcp_.Deactivate(); }

// ---------------------------------------------------------------- the reply parser

void ControllerLink::CommDataCheck() {
  if (reply_.count <= 0) return;
  switch (state_) {
    case kInputPortRead:
    case kInputDataRead: {
      const int byte = reply_.bytes[0];
      ui_.MsgOut(Format(" R:%02X", byte));
      EndExchange();
      return NotifyEnd(ExchangeEnd::Kind::kDone, byte);
    }
    case kLearning: ParseLearnReply(); return;
    case kIrSending: {
      int refused = -1;
      for (int i = 0; i < reply_.count; ++i) {
        if (reply_.bytes[i] == 'E') continue;
        ui_.MsgOut(std::string(kIrDataError) + Format(" (0x%X)", reply_.bytes[i]));
        if (refused < 0) refused = reply_.bytes[i];
      }
      EndExchange();
      return NotifyEnd(refused < 0 ? ExchangeEnd::Kind::kDone : ExchangeEnd::Kind::kControllerError,
                       refused);
    }
    default:
      ui_.MsgOut(" R:" +
                 BytesToHexText(std::span<const unsigned char>(reply_.bytes.data(), reply_.count)));
      EndExchange();
      return;
  }
}

void ControllerLink::ParseLearnReply() {
  while (reply_.count > 0) {
    const unsigned char code = reply_.bytes[0];
    if (code == 'N') return FailLearn();
    if (code == 'A' || code == 'C') {
      std::copy(reply_.bytes.begin() + 1, reply_.bytes.begin() + reply_.count,
                reply_.bytes.begin());
      --reply_.count;
      continue;
    }
    if (code != 'G') return;  // unknown: wait, normally for the time-out
    if (reply_.count < expected_) return;

    SignalBlock block(std::span<const unsigned char>(reply_.bytes.data() + 1, kSignalBlockSize));
    block.ClearAbsentFrames();
    // A block without a signal ("RG" with no digits, or a controller that heard nothing) is a
    // failed learn: storing it would replace a good code with nothing.
    if (block.IsEmpty()) return FailLearn();
    // The data text is the signal block only, whatever else a longer reply held.
    const std::string data_text = BytesToHexText(block.bytes());
    learn_mode_ = false;
    if (library_) {
      ui_.LearnData(data_text);
      EndExchange();
      return NotifyEnd(ExchangeEnd::Kind::kLearned, -1, data_text);
    }
    StoreLearnedCode(data_text);
    ui_.MsgOut(kLearnOk);
    if (link_port_ == kTcpPort) tcp_.SendText(kLearnDoneLine);
    EndExchange();
    return NotifyEnd(ExchangeEnd::Kind::kLearned, -1, data_text);
  }
}

void ControllerLink::FailLearn() {
  // Learn mode stays on: the next key press learns again.
  ui_.MsgOut(kLearnError);
  EndExchange();
  NotifyEnd(ExchangeEnd::Kind::kLearnFailed);
}

void ControllerLink::StoreLearnedCode(const std::string& data_text) {
  codes_.SetData(learn_target_, data_text);
  codes_.SetChanged(learn_target_, true);
  if (ui_.ShownPage() == LinkPage::kCodeList) {
    codes_.SetComment(learn_target_, ui_.CommentText());
    ui_.HideComment();
    ui_.PageDisplay();
  } else {
    codes_.SetComment(learn_target_, PadLearnComment(learn_target_));
  }
}

// ---------------------------------------------------------------- the I/O page

void ControllerLink::OutPort(std::string_view address_text, std::string_view data_text) {
  const std::optional<long long> address = ScanHexField(address_text);
  if (!address) return ui_.MsgOut("address error!");
  if (*address < 0 || *address > 0x0F) return ui_.MsgOut("address error!(0x0-0xf)");
  const std::optional<long long> data = ScanHexField(data_text);
  if (!data) return ui_.MsgOut("data error!");
  if (*data < 0 || *data > 0xFF) return ui_.MsgOut("data error!(0x00-0xff)");
  const int a = static_cast<int>(*address);
  const int d = static_cast<int>(*data);
  ui_.MsgOut(Format("OutPort %02X,%02X", a, d));
  if (Busy()) return ShowBusy();
  BeginExchange(kIdle, 0, OutputFrame(a, d), 0);
}

void ControllerLink::InPort(std::string_view address_text) {
  const std::optional<long long> address = ScanHexField(address_text);
  if (!address) return ui_.MsgOut("address error!");
  if (*address < 0x10 || *address > 0x1F) return ui_.MsgOut("address error!(0x10-0x1f)");
  const int a = static_cast<int>(*address);
  ui_.MsgOut(Format("InPort %02X", a));
  if (Busy()) return ShowBusy();
  BeginExchange(kInputPortRead, 1, InputFrame(a), kInputTicks);
}

void ControllerLink::InData() {
  ui_.MsgOut("InData");
  if (Busy()) return ShowBusy();
  BeginExchange(kInputDataRead, 1, InputDataRequestFrame(), kInputTicks);
}

void ControllerLink::SendData(std::string_view text) {
  std::vector<unsigned char> bytes;
  const int count = HexTextToBytes(text, bytes);
  if (count <= 0) return ui_.MsgOut("data error!");
  ui_.MsgOut(Format("SendData length = %d", count));
  if (Busy()) return ShowBusy();
  BeginExchange(kIdle, 0, std::span<const unsigned char>(bytes.data(), count), kRawTicks);
}

}  // namespace kavro

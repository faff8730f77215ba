// The main window's one connection to the controller: a serial port COM1..COM5 or a TCP
// connection to the network IR server, opened on the first frame and kept until a reply
// time-out, Disconnect or the end of the program. One exchange (a frame and its reply) at a
// time; the exchange state is the busy flag and a 100 ms tick counts the reply time-out.
//
// Everything runs on the GUI thread. Outcomes are shown through LinkUi::MsgOut; a serial port
// that cannot be opened throws the serial component's error (port, device and reason) out of the
// operation that sent the frame, for the program to show, after ending that exchange and leaving
// the link closed, so the next frame tries to open the port again. A serial device that
// disappears ends the exchange at once and closes the link, with a message naming it.
#pragma once

#include <array>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "link/frames.h"

namespace kavro {

class CodeTable;
class LinkUi;
class SerialChannel;
class TcpChannel;
class TickSource;

// Values of the exchange state. The numbers are kept as they have always been, since tests and
// logs compare them; 1 and 4 belong to no operation (an output write and a raw frame wait for no
// reply of their own kind, so they leave the state idle).
enum ExchangeState : int {
  kIdle = 0,
  kInputPortRead = 2,
  kInputDataRead = 3,
  kLearning = 5,
  kIrSending = 6,
};

// Port choices and the link port: 1..5 = COM1..COM5, 6 = the TCP link; -1 = link closed.
inline constexpr int kLinkClosed = -1;
inline constexpr int kTcpPort = 6;

// Results of SendIrData and SetLearnMode for the code library window.
enum SendIrDataResult : int { kSendStarted = 0, kSendEmpty = 1, kSendTooLong = 2, kSendBusy = 3 };
enum SetLearnModeResult : int { kLearnStarted = 0, kLearnAlreadyOn = 1, kLearnBusy = 2 };

// How an exchange ended, for a program that runs exchanges on behalf of others.
struct ExchangeEnd {
  enum class Kind {
    kDone,             // the reply came (an input read: `reply` holds the byte read)
    kLearned,          // `data` holds the learned data text
    kLearnFailed,      // the controller's 'N', or a block without a signal
    kControllerError,  // an IR send answered with `reply` instead of 'E'
    kTimeout,
    kDeviceGone,  // the serial device went away (also while no exchange was running)
    kCancelled,   // a learn the user gave up on (CancelLearn)
  };
  Kind kind = Kind::kDone;
  int reply = -1;
  std::string data;
};

class ControllerLink {
 public:
  enum class Traffic { kFrame, kReply };
  // Sees every frame handed to RsOut (as the I/O page logs it) and every reply received
  // (serial bytes, or the text of a TCP read).
  using TrafficObserver = std::function<void(Traffic, std::span<const unsigned char>)>;
  // Told after the link has finished with the exchange (state idle), so it may start the next.
  using EndObserver = std::function<void(const ExchangeEnd&)>;

  // Installs its handlers on the channels and the tick source; all must outlive the link.
  ControllerLink(LinkUi& ui, CodeTable& codes, SerialChannel& serial, TcpChannel& tcp,
                 TickSource& ticks);
  ~ControllerLink();
  ControllerLink(const ControllerLink&) = delete;
  ControllerLink& operator=(const ControllerLink&) = delete;

  // --- settings ---
  // The checked item of the Com_Lan menu, 1..6 (others count as 1). Takes effect at the next
  // opening of the link only.
  void SetPortChoice(int choice);
  int PortChoice() const { return port_choice_; }
  void SetDataFileName(std::string name) { data_file_name_ = std::move(name); }
  const std::string& DataFileName() const { return data_file_name_; }
  void SetTcpHost(const std::string& host);
  void SetTcpPort(int port);

  // --- operations ---
  // The one door for frames: opens the link when closed, arms the reply time-out (ticks of
  // 100 ms, 0 for none) and sends the frame (on TCP as its text line, if it has one).
  void RsOut(std::span<const unsigned char> frame, int ticks);
  // A pad key (index 1..45 with the pad mode offset) or a code list row (1..10): sends the code,
  // or learns into it in learn mode.
  void Send(int key);
  // For the code library window; results above.
  SendIrDataResult SendIrData(std::string_view data_text);
  SetLearnModeResult SetLearnMode();
  // "Learn(&L)": toggles learn mode. Turning it off while a learn reply is awaited ends that
  // exchange as the time-out would, without its message, so a late reply stores nothing.
  void LearnL1Click();
  // Esc in a window, or the library's learn asked again: learn mode off and an awaited learn
  // ends as the time-out would, without a message, so a late reply stores nothing.
  void CancelLearn();
  // The notebook page changed: learn mode off, no message.
  void LearnModeOff() { learn_mode_ = false; }
  // "Disconnect(&D)": ends the exchange silently and closes the link; learn mode stays.
  void DisConnectD1Click();
  // Closes the link if open (also at the end of the program).
  void CloseLink();
  // Opens the link now, without a frame (a serial port gets its preamble); throws as RsOut does.
  void Open();

  // The I/O page: hexadecimal fields as typed, with their checks and messages.
  void OutPort(std::string_view address_text, std::string_view data_text);
  void InPort(std::string_view address_text);
  void InData();
  void SendData(std::string_view text);

  // --- events (the constructor wires them; public so a program may also call them) ---
  void Timer1Timer();
  void CommX1Receive(int receive_size);
  void ClientSocket1Read();
  void ClientSocket1Connect();
  void ClientSocket1Disconnect();
  // The serial device went away.
  void SerialDeviceGone();
  // Parses the reply buffer according to the exchange state.
  void CommDataCheck();

  // --- state ---
  int LinkPort() const { return link_port_; }
  int State() const { return state_; }
  bool Busy() const { return state_ != kIdle; }
  bool LearnMode() const { return learn_mode_; }
  int LearnTarget() const { return learn_target_; }
  bool LibraryFlag() const { return library_; }
  int ExpectedLength() const { return expected_; }
  int ReplyCount() const { return reply_.count; }
  int Countdown() const { return countdown_; }
  // Whole seconds until an awaited learn times out; 0 when no learn is awaited.
  int LearnSecondsLeft() const;
  const std::string& PendingLine() const { return pending_line_; }
  // Anything not yet handed to the line or the network: serial bytes queued, TCP text unsent,
  // or a line waiting for the connection.
  bool TransmitPending() const;

  void SetTrafficObserver(TrafficObserver observer) { observer_ = std::move(observer); }
  void SetEndObserver(EndObserver observer) { end_observer_ = std::move(observer); }

 private:
  void OpenLink(int& ticks);
  // Sets the exchange up and hands its frame to RsOut (the one start of every exchange).
  void BeginExchange(ExchangeState state, int expected, std::span<const unsigned char> frame,
                     int ticks);
  void EndExchange();
  // Ends the exchange as the time-out does: clock off, learn mode off, idle, link closed.
  void AbortExchange();
  // Shows a failure of the exchange, or hands it to the code library when the library asked.
  void ReportFailure(std::string_view text);
  void ParseLearnReply();
  // A learn the controller could not make: learn mode stays on, so the next key learns again.
  void FailLearn();
  void StoreLearnedCode(const std::string& data_text);
  void ShowBusy();
  void Notify(Traffic traffic, std::span<const unsigned char> bytes);
  void NotifyEnd(ExchangeEnd::Kind kind, int reply = -1, std::string data = {});

  LinkUi& ui_;
  CodeTable& codes_;
  SerialChannel& serial_;
  TcpChannel& tcp_;
  TickSource& ticks_;

  int port_choice_ = 1;
  std::string data_file_name_;

  int link_port_ = kLinkClosed;
  int state_ = kIdle;
  int expected_ = 0;
  ReplyBuffer reply_;
  int countdown_ = 0;
  bool learn_mode_ = false;
  int learn_target_ = 0;
  bool library_ = false;
  std::string pending_line_;
  // The start of a reply line whose rest has not arrived yet (TCP).
  std::string held_reply_;
  // One TCP read and its terminator.
  static constexpr int kSocketReadMax = 4000;
  std::array<char, kSocketReadMax + 1> socket_buffer_{};

  TrafficObserver observer_;
  EndObserver end_observer_;
};

}  // namespace kavro

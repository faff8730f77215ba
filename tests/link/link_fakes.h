// Stand-ins for the user interface, the serial port, the TCP client and the clock, so the link
// runs in a test without a window, a device or a network, and a 10 s time-out takes ten calls.
#pragma once

#include <deque>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "link/link_ui.h"
#include "link/serial_channel.h"
#include "link/tcp_channel.h"
#include "link/tick_source.h"

namespace kavro::test {

using Bytes = std::vector<unsigned char>;

inline Bytes B(std::string_view text) { return Bytes(text.begin(), text.end()); }

class FakeUi : public LinkUi {
 public:
  void MsgOut(std::string_view text) override { messages.emplace_back(text); }
  LinkPage ShownPage() const override { return page; }
  int PadBase() const override { return pad_base; }
  int ListPage() const override { return list_page; }
  std::string CommentText() const override { return comment; }
  void SetCommentText(std::string_view text) override { comment = text; }
  void HideComment() override { comment_visible = false; }
  void ShowLearnDisplay(bool on) override {
    comment_visible = on;
    comment_label = on ? "Comment" : "";
  }
  void PageDisplay() override { ++page_displays; }
  void LearnData(std::string_view text) override { learn_data.emplace_back(text); }

  // Messages since the last call.
  std::vector<std::string> Take() {
    std::vector<std::string> out;
    out.swap(messages);
    return out;
  }

  LinkPage page = LinkPage::kPad;
  int pad_base = 100;
  int list_page = 0;
  std::string comment;
  bool comment_visible = false;
  std::string comment_label;
  int page_displays = 0;
  std::vector<std::string> messages;
  std::vector<std::string> learn_data;
};

struct PortOpenError : std::runtime_error {
  PortOpenError() : std::runtime_error("port cannot be opened") {}
};

class FakeSerial : public SerialChannel {
 public:
  void SetPortNo(int port) override { port_no = port; }
  void PortOpen() override {
    if (fail_open) throw PortOpenError();
    open = true;
    ++opens;
    opened_ports.push_back(port_no);
  }
  void PortClose() override { open = false; }
  bool TransBlock(const unsigned char* data, int length) override {
    if (!open) return false;
    written.insert(written.end(), data, data + length);
    return true;
  }
  int ReceiveBlock(unsigned char* buffer, int count) override {
    if (!open) return -1;
    int n = 0;
    while (n < count && !incoming.empty()) {
      buffer[n++] = incoming.front();
      incoming.pop_front();
    }
    return n;
  }
  void ClearTransBuf() override { ++trans_clears; }
  void ClearReceiveBuf() override {
    ++receive_clears;
    if (open) incoming.clear();
  }
  int TransLength() override { return trans_length; }
  void SetReceiveHandler(ReceiveHandler h) override { handler = std::move(h); }
  void SetGoneHandler(GoneHandler h) override { gone_handler = std::move(h); }

  // The device answers: the bytes wait in the port and the receive event reports them.
  void Deliver(const Bytes& bytes) {
    incoming.insert(incoming.end(), bytes.begin(), bytes.end());
    if (handler) handler(static_cast<int>(incoming.size()));
  }
  // The device is pulled out while open.
  void Vanish() {
    if (open && gone_handler) gone_handler();
  }
  Bytes TakeWritten() {
    Bytes out;
    out.swap(written);
    return out;
  }

  int port_no = 1;
  bool open = false;
  bool fail_open = false;
  int opens = 0;
  std::vector<int> opened_ports;
  int trans_clears = 0;
  int receive_clears = 0;
  int trans_length = 0;
  Bytes written;
  std::deque<unsigned char> incoming;
  ReceiveHandler handler;
  GoneHandler gone_handler;
};

class FakeTcp : public TcpChannel {
 public:
  void SetHost(const std::string& h) override { host = h; }
  void SetPort(int p) override { port = p; }
  const std::string& Host() const override { return host; }
  int Port() const override { return port; }
  void Activate() override {
    if (active) return;
    active = true;
    ++activations;
  }
  void Deactivate() override {
    active = false;
    connected = false;
    incoming.clear();
  }
  bool IsConnected() const override { return connected; }
  void SendText(std::string_view text) override {
    if (connected)
      sent.emplace_back(text);
    else
      errors.emplace_back(text);
  }
  int Receive(char* buffer, int max) override {
    int n = 0;
    while (n < max && !incoming.empty()) {
      buffer[n++] = incoming.front();
      incoming.pop_front();
    }
    return n;
  }
  long long BytesToWrite() const override { return bytes_to_write; }
  void SetConnectHandler(Handler h) override { on_connect = std::move(h); }
  void SetDisconnectHandler(Handler h) override { on_disconnect = std::move(h); }
  void SetReadHandler(Handler h) override { on_read = std::move(h); }
  void SetErrorHandler(ErrorHandler h) override { on_error = std::move(h); }

  // The connection completes.
  void Connect() {
    connected = true;
    if (on_connect) on_connect();
  }
  // The server sends text: one read event.
  void Deliver(std::string_view text) {
    incoming.insert(incoming.end(), text.begin(), text.end());
    if (on_read) on_read();
  }
  // The server closes the connection.
  void ServerClose() {
    connected = false;
    if (on_disconnect) on_disconnect();
  }
  std::vector<std::string> TakeSent() {
    std::vector<std::string> out;
    out.swap(sent);
    return out;
  }

  std::string host = "127.0.0.1";
  int port = 1024;
  bool active = false;
  bool connected = false;
  int activations = 0;
  long long bytes_to_write = 0;
  std::vector<std::string> sent;
  std::vector<std::string> errors;  // texts sent while not connected
  std::deque<char> incoming;
  Handler on_connect, on_disconnect, on_read;
  ErrorHandler on_error;
};

class FakeTicks : public TickSource {
 public:
  void Start() override { enabled = true; }
  void Stop() override { enabled = false; }
  bool Enabled() const override { return enabled; }
  void SetTickHandler(TickHandler h) override { handler = std::move(h); }

  // `n` ticks of 100 ms, delivered only while the clock runs.
  void Tick(int n = 1) {
    for (int i = 0; i < n && enabled; ++i)
      if (handler) handler();
  }

  bool enabled = false;
  TickHandler handler;
};

}  // namespace kavro::test

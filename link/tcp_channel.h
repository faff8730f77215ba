// What the controller link needs of a TCP client: non-blocking, events on the GUI thread.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace kavro {

class TcpChannel {
 public:
  using Handler = std::function<void()>;
  // A connect or send that failed, with a text for the user.
  using ErrorHandler = std::function<void(const std::string& text)>;

  virtual ~TcpChannel() = default;

  // Take effect at the next Activate.
  virtual void SetHost(const std::string& host) = 0;
  virtual void SetPort(int port) = 0;
  virtual const std::string& Host() const = 0;
  virtual int Port() const = 0;

  // Starts connecting; completion arrives through the connect handler, failure through the
  // error handler.
  virtual void Activate() = 0;
  // Closes the connection (or stops the attempt); fires no handler.
  virtual void Deactivate() = 0;
  virtual bool IsConnected() const = 0;
  // Sends text; while not connected nothing is sent and the error handler is told.
  virtual void SendText(std::string_view text) = 0;
  // Reads up to `max` characters already received; the number read (0 when none).
  virtual int Receive(char* buffer, int max) = 0;
  // Bytes handed to SendText and not yet written to the network.
  virtual long long BytesToWrite() const = 0;

  virtual void SetConnectHandler(Handler handler) = 0;
  // The peer closed the connection.
  virtual void SetDisconnectHandler(Handler handler) = 0;
  // Characters arrived.
  virtual void SetReadHandler(Handler handler) = 0;
  virtual void SetErrorHandler(ErrorHandler handler) = 0;
};

}  // namespace kavro

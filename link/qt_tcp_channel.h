// The link's TCP client on a QTcpSocket: non-blocking, its events on the GUI thread.
#pragma once

#include <QObject>
#include <QTcpSocket>
#include <string>

#include "link/tcp_channel.h"

namespace kavro {

class QtTcpChannel : public QObject, public TcpChannel {
  Q_OBJECT

 public:
  explicit QtTcpChannel(QObject* parent = nullptr);
  ~QtTcpChannel() override;

  void SetHost(const std::string& host) override { host_ = host; }
  void SetPort(int port) override { port_ = port; }
  const std::string& Host() const override { return host_; }
  int Port() const override { return port_; }

  // Activating an active socket does nothing.
  void Activate() override;
  void Deactivate() override;
  bool IsConnected() const override;
  void SendText(std::string_view text) override;
  int Receive(char* buffer, int max) override;
  long long BytesToWrite() const override;

  void SetConnectHandler(Handler handler) override { on_connect_ = std::move(handler); }
  void SetDisconnectHandler(Handler handler) override { on_disconnect_ = std::move(handler); }
  void SetReadHandler(Handler handler) override { on_read_ = std::move(handler); }
  void SetErrorHandler(ErrorHandler handler) override { on_error_ = std::move(handler); }

 private:
  void OnReadyRead();
  void OnError(QAbstractSocket::SocketError error);
  void ReportError(const std::string& text);

  QTcpSocket socket_;
  std::string host_ = "127.0.0.1";
  int port_ = 1024;
  // Set while we close the socket ourselves, so that closing fires no disconnect handler.
  bool closing_ = false;
  Handler on_connect_;
  Handler on_disconnect_;
  Handler on_read_;
  ErrorHandler on_error_;
};

}  // namespace kavro

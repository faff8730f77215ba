#include "link/qt_tcp_channel.h"

#include <QTimer>

namespace kavro {

QtTcpChannel::QtTcpChannel(QObject* parent) : QObject(parent) {
  connect(&socket_, &QTcpSocket::connected, this, [this] {
    if (on_connect_) on_connect_();
  });
  connect(&socket_, &QTcpSocket::disconnected, this, [this] {
    if (!closing_ && on_disconnect_) on_disconnect_();
  });
  connect(&socket_, &QTcpSocket::readyRead, this, &QtTcpChannel::OnReadyRead);
  connect(&socket_, &QTcpSocket::errorOccurred, this, &QtTcpChannel::OnError);
}

QtTcpChannel::~QtTcpChannel() {
  closing_ = true;
  socket_.abort();
}

void QtTcpChannel::Activate() {
  if (socket_.state() != QAbstractSocket::UnconnectedState) return;
  socket_.connectToHost(QString::fromStdString(host_), static_cast<quint16>(port_));
}

void QtTcpChannel::Deactivate() {
  closing_ = true;
  socket_.abort();
  closing_ = false;
}

bool QtTcpChannel::IsConnected() const {
  return socket_.state() == QAbstractSocket::ConnectedState;
}

void QtTcpChannel::SendText(std::string_view text) {
  if (!IsConnected()) {
    ReportError("Socket not connected (" + host_ + ":" + std::to_string(port_) + ")");
    return;
  }
  if (socket_.write(text.data(), static_cast<qint64>(text.size())) < 0)
    ReportError(socket_.errorString().toStdString());
}

int QtTcpChannel::Receive(char* buffer, int max) {
  if (max <= 0) return 0;
  const qint64 got = socket_.read(buffer, max);
  return got > 0 ? static_cast<int>(got) : 0;
}

long long QtTcpChannel::BytesToWrite() const { return socket_.bytesToWrite(); }

void QtTcpChannel::OnReadyRead() {
  const qint64 before = socket_.bytesAvailable();
  if (on_read_) on_read_();
  // The handler reads a bounded amount; Qt signals again only for new data, so come back for
  // the rest as long as the handler makes progress.
  const qint64 after = socket_.bytesAvailable();
  if (after > 0 && after < before)
    QTimer::singleShot(0, this, [this] {
      if (socket_.bytesAvailable() > 0) OnReadyRead();
    });
}

void QtTcpChannel::OnError(QAbstractSocket::SocketError error) {
  // The peer closing is not a failure: the disconnect handler deals with it.
  if (closing_ || error == QAbstractSocket::RemoteHostClosedError) return;
  ReportError(socket_.errorString().toStdString());
}

void QtTcpChannel::ReportError(const std::string& text) {
  if (on_error_) on_error_(text);
}

}  // namespace kavro

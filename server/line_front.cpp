#include "server/line_front.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

#include <array>
#include <deque>
#include <optional>

#include "server/controller_runner.h"
#include "server/line_session.h"

namespace kavro::server {

struct LineFront::Client {
  ClientId id = 0;
  QTcpSocket* socket = nullptr;  // owned by the client record (deleted later, never mid-signal)
  LineSession session;
  QTimer stall;
  // The answers in the order of their lines: one that is ready waits for those before it.
  std::deque<std::optional<std::string>> answers;
  std::uint64_t first_answer = 0;  // the number of answers.front()
};

LineFront::LineFront(ControllerRunner& runner, std::function<ClientId()> next_client,
                     QObject* parent)
    : QObject(parent), runner_(runner), next_client_(std::move(next_client)) {
  connect(&server_, &QTcpServer::newConnection, this, &LineFront::Accept);
}

LineFront::~LineFront() { Close(); }

bool LineFront::Listen(const std::string& host, int port, std::string& error) {
  QHostAddress address;
  if (!address.setAddress(QString::fromStdString(host))) {
    error = host + ": not a numeric address";
    return false;
  }
  if (!server_.listen(address, static_cast<quint16>(port))) {
    error = host + ":" + std::to_string(port) + ": " + server_.errorString().toStdString();
    return false;
  }
  return true;
}

void LineFront::Close() {
  server_.close();
  while (!clients_.empty()) Drop(clients_.begin()->first);
}

long long LineFront::Unsent() const {
  long long total = 0;
  for (const auto& [id, client] : clients_) total += client->socket->bytesToWrite();
  return total;
}

void LineFront::Accept() {
  while (QTcpSocket* socket = server_.nextPendingConnection()) {
    if (clients_.size() >= static_cast<std::size_t>(kMaxConnections)) {
      socket->write(LineSession::ErrorLine("too many connections").c_str());
      socket->disconnectFromHost();
      connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
      continue;
    }
    auto client = std::make_unique<Client>();
    client->id = next_client_();
    client->socket = socket;
    socket->setParent(nullptr);
    client->stall.setSingleShot(true);
    const ClientId id = client->id;
    connect(socket, &QTcpSocket::readyRead, this, [this, id] {
      if (const auto found = clients_.find(id); found != clients_.end()) Read(*found->second);
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, id] { Drop(id); });
    connect(&client->stall, &QTimer::timeout, this, [this, id] { Drop(id); });
    clients_.emplace(id, std::move(client));
  }
}

void LineFront::Read(Client& client) {
  const ClientId id = client.id;
  std::array<char, 4096> buffer;
  for (qint64 got; (got = client.socket->read(buffer.data(), buffer.size())) > 0;) {
    for (LineSession::Command& command : client.session.Feed({buffer.data(), std::size_t(got)})) {
      if (client.answers.size() >= kMaxAnswersDue) return Drop(id);  // it reads none of them
      const std::uint64_t slot = client.first_answer + client.answers.size();
      client.answers.emplace_back();
      if (command.kind == LineSession::Command::Kind::kAnswer) {
        Answer(id, slot, command.answer);
      } else {
        const Exchange::Kind kind = command.exchange.kind;
        const auto admission = runner_.Submit(
            id, std::move(command.exchange), [this, id, slot, kind](const Result& result) {
              Answer(id, slot, LineSession::AnswerLine(kind, result));
            });
        if (admission == ApiBackend::Admission::kFull)
          Answer(id, slot, LineSession::ErrorLine("queue full"));
        else if (admission == ApiBackend::Admission::kOffline)
          Answer(id, slot, LineSession::ErrorLine("controller offline"));
      }
      if (!clients_.contains(id)) return;  // closed for not reading its answers
    }
  }
  // A line that never ends would hold the connection for ever.
  if (client.session.HoldsPartialLine()) {
    if (!client.stall.isActive()) client.stall.start(kStallTimeout);
  } else {
    client.stall.stop();
  }
}

void LineFront::Answer(ClientId id, std::uint64_t slot, std::string text) {
  const auto found = clients_.find(id);
  if (found == clients_.end()) return;
  Client& client = *found->second;
  client.answers[slot - client.first_answer] = std::move(text);
  while (!client.answers.empty() && client.answers.front()) {
    const std::string ready = std::move(*client.answers.front());
    client.answers.pop_front();
    ++client.first_answer;
    Write(id, ready);
    if (!clients_.contains(id)) return;
  }
}

void LineFront::Write(ClientId id, const std::string& bytes) {
  const auto found = clients_.find(id);
  if (found == clients_.end() || bytes.empty()) return;
  QTcpSocket* socket = found->second->socket;
  if (socket->bytesToWrite() + static_cast<qint64>(bytes.size()) > static_cast<qint64>(kMaxUnsent))
    return Drop(id);
  socket->write(bytes.data(), static_cast<qint64>(bytes.size()));
}

void LineFront::Drop(ClientId id) {
  const auto found = clients_.find(id);
  if (found == clients_.end()) return;
  // Kept until the event loop is back: Drop may run inside the client's own timer or socket.
  std::shared_ptr<Client> client = std::move(found->second);
  clients_.erase(found);
  client->stall.stop();
  QTimer::singleShot(0, this, [client] {});
  runner_.DropClient(id);
  QTcpSocket* socket = client->socket;
  socket->disconnect(this);
  // Answers already written still go out; the socket goes when it is closed.
  connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
  if (socket->state() == QAbstractSocket::UnconnectedState)
    socket->deleteLater();
  else
    socket->disconnectFromHost();
}

}  // namespace kavro::server

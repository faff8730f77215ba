// The line-protocol listener: one LineSession per connection, every request into the runner's
// queue, every answer back to the connection that asked, in the order of its lines. A connection
// that closes drops its queued requests. Limits: kMaxConnections at once (more are told so and
// closed), a line held unfinished longer than kStallTimeout closes its connection, and a connection
// that does not read its answers is closed once kMaxUnsent bytes wait for it.
#pragma once

#include <QObject>
#include <QTcpServer>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "server/exchange.h"

class QTcpSocket;
class QTimer;

namespace kavro::server {

class ControllerRunner;
class LineSession;

class LineFront : public QObject {
  Q_OBJECT

 public:
  static constexpr int kMaxConnections = 64;
  static constexpr std::size_t kMaxUnsent = 64 * 1024;
  static constexpr std::chrono::seconds kStallTimeout{30};
  // Lines whose answers are not yet sent; a client past it does not wait for its answers.
  static constexpr std::size_t kMaxAnswersDue = 256;

  // `next_client` hands out client numbers shared with the other front ends.
  LineFront(ControllerRunner& runner, std::function<ClientId()> next_client,
            QObject* parent = nullptr);
  ~LineFront() override;

  bool Listen(const std::string& host, int port, std::string& error);
  int Port() const { return server_.serverPort(); }
  void Close();
  int Connections() const { return static_cast<int>(clients_.size()); }
  // Bytes written to the connections and not yet sent.
  long long Unsent() const;

 private:
  struct Client;
  void Accept();
  void Read(Client& client);
  // The answer to the line numbered `slot`; sent once every earlier line has its answer.
  void Answer(ClientId id, std::uint64_t slot, std::string text);
  void Write(ClientId id, const std::string& bytes);
  void Drop(ClientId id);

  ControllerRunner& runner_;
  std::function<ClientId()> next_client_;
  QTcpServer server_;
  std::map<ClientId, std::unique_ptr<Client>> clients_;
};

}  // namespace kavro::server

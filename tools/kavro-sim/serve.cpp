#include "tools/kavro-sim/serve.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "tools/kavro-sim/session.h"

namespace kavro::sim {

namespace {

constexpr Millis kCloseQuietMs = 10;
constexpr Millis kCloseLingerMs = 1000;

int gStopWrite = -1;

void onStopSignal(int) {
  const char byte = 1;
  const int saved = errno;
  [[maybe_unused]] const auto n = ::write(gStopWrite, &byte, 1);
  errno = saved;
}

// A pipe that becomes readable when SIGINT or SIGTERM arrives, so poll() sees the signal.
int installStopSignals() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
  gStopWrite = fds[1];
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
  return fds[0];
}

Millis nowMillis() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int timeoutUntil(Millis now, std::optional<Millis> a, std::optional<Millis> b) {
  std::optional<Millis> deadline = a;
  if (b && (!deadline || *b < *deadline)) deadline = b;
  if (!deadline) return -1;
  const Millis wait = *deadline - now;
  return wait <= 0 ? 0 : wait > INT_MAX ? INT_MAX : static_cast<int>(wait);
}

std::string errorText(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

enum class WriteResult { Done, Blocked, Failed };

// Writes every due piece; Blocked when the descriptor takes no more for now.
template <typename WriteFn>
WriteResult writeDue(Session& session, Millis now, WriteFn writeFn) {
  while (const Bytes* piece = session.output(now)) {
    const ssize_t n = writeFn(piece->data(), piece->size());
    if (n > 0) {
      session.written(static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      return WriteResult::Blocked;
    } else {
      return WriteResult::Failed;
    }
  }
  return WriteResult::Done;
}

// Reads standard input when asked to stop at its end; true when it has ended.
bool stdinEnded() {
  char buffer[256];
  const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
  return n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN);
}

bool makeRaw(int fd) {
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) return false;
  cfmakeraw(&settings);
  return tcsetattr(fd, TCSANOW, &settings) == 0;
}

class Poller {
 public:
  // Index of the added descriptor.
  std::size_t add(int fd, short events) {
    fds_.push_back(pollfd{fd, events, 0});
    return fds_.size() - 1;
  }
  bool wait(int timeoutMs) {
    const int r = ::poll(fds_.data(), fds_.size(), timeoutMs);
    return r >= 0 || errno == EINTR;
  }
  short revents(std::size_t index) const { return fds_[index].revents; }

 private:
  std::vector<pollfd> fds_;
};

// After a wait: the exit status when the simulator must stop (the wait failed, a stop signal
// came, standard input ended), nothing when it goes on.
std::optional<int> stopStatus(bool waited, const Poller& poller, std::size_t stopAt,
                              std::size_t stdinAt, LogWriter& log) {
  if (!waited) {
    log.write("error", errorText("poll"));
    return 1;
  }
  if (poller.revents(stopAt) != 0) {
    log.write("stop", "signal");
    return 0;
  }
  if (stdinAt != SIZE_MAX && poller.revents(stdinAt) != 0 && stdinEnded()) {
    log.write("stop", "end of standard input");
    return 0;
  }
  return std::nullopt;
}

int servePty(const SimOptions& options, LogWriter& log, std::FILE* announce, int stopFd) {
  int master = -1;
  int slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
    log.write("error", errorText("openpty"));
    return 1;
  }
  // Both ends raw, so nothing is echoed or changed; the slave stays open here for the whole run,
  // so the master never hangs up while the program closes and reopens the port.
  char name[256] = {};
  if (!makeRaw(master) || !makeRaw(slave) || ttyname_r(slave, name, sizeof name) != 0 ||
      fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK) != 0) {
    log.write("error", errorText("pty set-up"));
    return 1;
  }
  fcntl(master, F_SETFD, FD_CLOEXEC);
  fcntl(slave, F_SETFD, FD_CLOEXEC);
  std::fprintf(announce, "%s\n", name);
  std::fflush(announce);
  log.write("open", name);

  Session session(
      options, [&log](std::string_view kind, std::string_view detail) { log.write(kind, detail); });
  auto finish = [&](int status) {
    ::close(master);
    ::close(slave);
    return status;
  };
  std::optional<Millis> closeDueSince;
  std::optional<Millis> lastUnread;
  for (;;) {
    Millis now = nowMillis();
    session.tick(now);
    const WriteResult wrote =
        writeDue(session, now, [master](const std::uint8_t* data, std::size_t size) {
          return ::write(master, data, size);
        });
    if (wrote == WriteResult::Failed) {
      log.write("error", errorText("write"));
      return finish(1);
    }
    // Closing the master throws away what the program has not read yet, so the answers before
    // the close are given time to be read: until the slave has held nothing for a short while,
    // but not longer than kCloseLingerMs when nobody reads.
    int lingerMs = -1;
    if (session.closeDue(now)) {
      if (!closeDueSince) closeDueSince = lastUnread = now;
      int unread = 0;
      if (ioctl(slave, FIONREAD, &unread) == 0 && unread > 0) lastUnread = now;
      if (now - *lastUnread >= kCloseQuietMs || now - *closeDueSince >= kCloseLingerMs) {
        log.write("close", "");
        return finish(0);
      }
      lingerMs = static_cast<int>(kCloseQuietMs);
    }
    const bool blocked = wrote == WriteResult::Blocked;

    Poller poller;
    const auto stopAt = poller.add(stopFd, POLLIN);
    const auto masterAt = poller.add(master, static_cast<short>(POLLIN | (blocked ? POLLOUT : 0)));
    const auto stdinAt = options.exitOnStdinEof ? poller.add(STDIN_FILENO, POLLIN) : SIZE_MAX;
    int timeout = timeoutUntil(now, session.tickDeadline(),
                               blocked ? std::nullopt : session.outputDeadline());
    if (lingerMs >= 0 && (timeout < 0 || timeout > lingerMs)) timeout = lingerMs;
    if (const auto status = stopStatus(poller.wait(timeout), poller, stopAt, stdinAt, log))
      return finish(*status);
    const short events = poller.revents(masterAt);
    if (events & POLLIN) {
      std::uint8_t buffer[4096];
      const ssize_t n = ::read(master, buffer, sizeof buffer);
      if (n > 0) {
        session.input(nowMillis(), buffer, static_cast<std::size_t>(n));
      } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        log.write("error", errorText("read"));
        return finish(1);
      }
    } else if (events & (POLLERR | POLLHUP | POLLNVAL)) {
      log.write("error", "pty hung up");
      return finish(1);
    }
  }
}

int serveTcp(const SimOptions& options, LogWriter& log, std::FILE* announce, int stopFd) {
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listener < 0) {
    log.write("error", errorText("socket"));
    return 1;
  }
  const int yes = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(options.port);
  inet_pton(AF_INET, options.host.c_str(), &address.sin_addr);
  socklen_t length = sizeof address;
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener, 4) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    log.write("error", errorText(("listen on " + options.host).c_str()));
    ::close(listener);
    return 1;
  }
  const std::string where = options.host + ":" + std::to_string(ntohs(address.sin_port));
  std::fprintf(announce, "%s\n", where.c_str());
  std::fflush(announce);
  log.write("listen", where);

  int client = -1;
  std::optional<Session> session;
  auto drop = [&](const char* kind) {
    log.write(kind, "");
    ::close(client);
    client = -1;
    session.reset();
  };
  auto finish = [&](int status) {
    if (client >= 0) ::close(client);
    ::close(listener);
    return status;
  };
  for (;;) {
    Millis now = nowMillis();
    bool blocked = false;
    if (client >= 0) {
      session->tick(now);
      const WriteResult wrote =
          writeDue(*session, now, [client](const std::uint8_t* data, std::size_t size) {
            return ::send(client, data, size, MSG_NOSIGNAL);
          });
      if (wrote == WriteResult::Failed) {
        drop("disconnect");
      } else if (session->closeDue(now)) {
        drop("close");
      } else {
        blocked = wrote == WriteResult::Blocked;
      }
    }

    // One client at a time: a second one waits in the backlog until the first has gone.
    Poller poller;
    const auto stopAt = poller.add(stopFd, POLLIN);
    const auto listenAt = client < 0 ? poller.add(listener, POLLIN) : SIZE_MAX;
    const auto clientAt =
        client >= 0 ? poller.add(client, static_cast<short>(POLLIN | (blocked ? POLLOUT : 0)))
                    : SIZE_MAX;
    const auto stdinAt = options.exitOnStdinEof ? poller.add(STDIN_FILENO, POLLIN) : SIZE_MAX;
    const int timeout = client < 0
                            ? -1
                            : timeoutUntil(now, session->tickDeadline(),
                                           blocked ? std::nullopt : session->outputDeadline());
    if (const auto status = stopStatus(poller.wait(timeout), poller, stopAt, stdinAt, log))
      return finish(*status);
    if (listenAt != SIZE_MAX && poller.revents(listenAt) != 0) {
      sockaddr_in peer{};
      socklen_t peerLength = sizeof peer;
      client = ::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &peerLength,
                         SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (client >= 0) {
        // Pieces of a split answer must leave as separate segments, and answers at once.
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        char peerText[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &peer.sin_addr, peerText, sizeof peerText);
        log.write("connect", std::string(peerText) + ":" + std::to_string(ntohs(peer.sin_port)));
        session.emplace(options, [&log](std::string_view kind, std::string_view detail) {
          log.write(kind, detail);
        });
        session->start(nowMillis());
      }
    }
    if (clientAt != SIZE_MAX && poller.revents(clientAt) != 0) {
      std::uint8_t buffer[4096];
      const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
      if (n > 0) {
        session->input(nowMillis(), buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        drop("disconnect");
      }
    }
  }
}

}  // namespace

int serve(const SimOptions& options, LogWriter& log, std::FILE* announce) {
  const int stopFd = installStopSignals();
  if (stopFd < 0) {
    log.write("error", errorText("pipe"));
    return 1;
  }
  return options.transport == Transport::Pty ? servePty(options, log, announce, stopFd)
                                             : serveTcp(options, log, announce, stopFd);
}

}  // namespace kavro::sim

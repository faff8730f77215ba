#pragma once
// One connection of the simulator (the pty for its whole life, or one TCP client): feeds what
// arrives to the responder of its transport, queues the answers with their delays and pieces,
// sends the unsolicited bytes, counts frames for --close-after, and logs all of it. Time is
// passed in, so all of it runs without a clock or a descriptor.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "tools/kavro-sim/line_responder.h"
#include "tools/kavro-sim/outbox.h"
#include "tools/kavro-sim/serial_responder.h"
#include "tools/kavro-sim/sim_options.h"

namespace kavro::sim {

class Session {
 public:
  using Log = std::function<void(std::string_view kind, std::string_view detail)>;

  Session(const SimOptions& options, Log log);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // A TCP client has connected: the unsolicited bytes start counting from here. On the pty
  // they start at the first frame received instead.
  void start(Millis now);
  void input(Millis now, const std::uint8_t* data, std::size_t size);
  // Does what is due at `now` other than writing: gives up a stale serial frame, queues
  // unsolicited bytes.
  void tick(Millis now);
  // When tick() next has work, and when the next answer piece is due.
  std::optional<Millis> tickDeadline() const;
  std::optional<Millis> outputDeadline() const { return outbox_.nextDue(); }

  // The answer piece to write now, or null.
  const Bytes* output(Millis now) const { return outbox_.due(now); }
  // `count` bytes of that piece have been written.
  void written(std::size_t count);
  // --close-after was reached and everything answered before the close is written.
  bool closeDue(Millis now) const { return outbox_.closeDue(now); }

 private:
  void handle(Millis now, const std::vector<Received>& received);
  std::string describe(const std::uint8_t* data, std::size_t size) const;

  const SimOptions options_;
  Log log_;
  std::optional<SerialResponder> serial_;
  std::optional<LineResponder> lines_;
  Outbox outbox_;
  int frames_ = 0;
  bool closing_ = false;
  std::optional<Millis> unsolicitedAt_;
  bool started_ = false;
};

}  // namespace kavro::sim

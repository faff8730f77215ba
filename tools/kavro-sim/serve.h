#pragma once
// The simulator's I/O loop over a pseudo-terminal or a TCP listener: one thread, poll() with
// the time-out of the next due answer, so it never spins.

#include <cstdio>

#include "tools/kavro-sim/log_writer.h"
#include "tools/kavro-sim/sim_options.h"

namespace kavro::sim {

// Prints the pty's slave path or the TCP address ("127.0.0.1:PORT") as the first line of
// `announce`, then serves until SIGINT or SIGTERM, the end of standard input (with
// --exit-on-stdin-eof), or, on the pty, --close-after. Returns the exit status: 0 after a
// normal stop, 1 when the pty or the socket cannot be set up or fails.
int serve(const SimOptions& options, LogWriter& log, std::FILE* announce);

}  // namespace kavro::sim

// Idle cost: CPU time of the whole process while a port stays open and quiet, against the same
// time with no port open. Nothing should poll: the workers sleep until there is something to do.
// Usage: serial_idle_bench [seconds]
#include <thread>

#include "bench/serial/bench_pty.h"
#include "serial/commx.h"
#include "serial/plain_dispatcher.h"
#include "serial/port_table.h"

int main(int argc, char** argv) {
  using namespace kavro;
  using namespace kavro::bench;
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;

  double before = CpuMillis();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double floor = CpuMillis() - before;

  Pty pty;
  PortTable::Set(1, pty.path);
  PlainDispatcher dispatcher;
  TCommX comm(dispatcher);
  comm.PortOpen();
  before = CpuMillis();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double open = CpuMillis() - before;
  comm.PortClose();

  std::printf("serial idle cost over %d s: no port %.2f ms CPU, open quiet port %.2f ms CPU\n",
              seconds, floor, open);
  return 0;
}

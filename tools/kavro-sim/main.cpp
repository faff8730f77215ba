// kavro-sim: stands in for the IR controller on a pseudo-terminal, or for the network IR server
// on a TCP address, for tests, benchmarks and users without the hardware.

#include <cstdio>
#include <string>
#include <vector>

#include "tools/kavro-sim/log_writer.h"
#include "tools/kavro-sim/serve.h"
#include "tools/kavro-sim/sim_options.h"

int main(int argc, char** argv) {
  using namespace kavro::sim;
  const ParsedOptions parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (parsed.help) {
    std::fputs(usageText(), stdout);
    return 0;
  }
  if (!parsed.options) {
    std::fprintf(stderr, "kavro-sim: %s\n%s", parsed.error.c_str(), usageText());
    return 2;
  }
  const SimOptions& options = *parsed.options;
  std::FILE* logFile = stderr;
  if (!options.logPath.empty()) {
    logFile = std::fopen(options.logPath.c_str(), "a");
    if (logFile == nullptr) {
      std::perror(("kavro-sim: " + options.logPath).c_str());
      return 1;
    }
  }
  LogWriter log(logFile);
  const int status = serve(options, log, stdout);
  if (logFile != stderr) std::fclose(logFile);
  return status;
}

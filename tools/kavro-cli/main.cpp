#include <QCoreApplication>

#include <iostream>

#include "datafile/data_file_name.h"
#include "tools/kavro-cli/cli.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  // The controller link runs on Qt's event loop (timer, socket, serial notices); no windows.
  QCoreApplication app(argc, argv);
  const int code = kavro::cli::Run(args, kavro::ExecutablePath(), std::cout, std::cerr);
  std::cout.flush();
  if (!std::cout) return kavro::cli::kExitFailed;  // output that could not be written is a failure
  return code;
}

// kavro-server: owns one controller and serves it to many clients at once.
#include <QCoreApplication>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <iostream>

#include "datafile/data_file_name.h"
#include "link/controller_link.h"
#include "link/link_settings.h"
#include "link/serial_devices.h"
#include "tools/kavro-server/server_options.h"

namespace {

int g_signal_pipe[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(g_signal_pipe[1], &byte, 1);
}

int Fail(const std::string& text, int code = 1) {
  std::cerr << "kavro-server: " << text << '\n';
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kavro;
  using namespace kavro::server;
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationVersion(QStringLiteral(KAVRO_VERSION));
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  std::optional<CommandLine> line = ParseCommandLine(args, error);
  if (!line) return Fail(error + "\n" + kUsage, 2);
  if (line->help) {
    std::cout << kUsage;
    return 0;
  }
  ServerOptions options = line->options;
  if (line->data_file) {
    options.data_file = *line->data_file;
  } else {
    const DataFileName name =
        ResolveDataFileName({}, SiblingProgramPath(ExecutablePath(), "kavro"));
    if (name.path.empty()) return Fail("no data file: " + name.note);
    options.data_file = name.path;
  }

  if (line->link && !ParseLinkName(*line->link))
    return Fail("--link must be COM1..COM5\n" + std::string(kUsage), 2);
  const std::optional<LinkSettings> settings =
      ResolveLinkSettings(LinkChoice{line->link, {}, {}}, options.data_file, error);
  if (!settings) return Fail(error);
  if (settings->port_choice == kTcpPort)
    return Fail(
        "the controller link is RaViz, the network IR server: this server cannot serve "
        "itself; choose a serial port with --link COM1..COM5",
        2);
  options.port = settings->port_choice;

  const std::string token_file = line->token_file.value_or(
      options.data_file.substr(0, options.data_file.rfind('/') + 1) + "kavro-server.token");
  const std::optional<std::string> token = LoadOrMakeToken(token_file, error);
  if (!token) return Fail(error);
  options.token = *token;
  if (line->mqtt_address) {
    options.mqtt = ResolveMqtt(*line, error);
    if (!options.mqtt) return Fail(error + "\n" + kUsage, 2);
    options.mqtt->sw_version = QCoreApplication::applicationVersion().toStdString();
  }

  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signal_pipe) != 0)
    return Fail("cannot set up signal handling");
  struct sigaction action {};
  action.sa_handler = OnSignal;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  ServerApp server(options, std::cout, std::cerr);
  if (!server.Start(error)) return Fail(error);
  QSocketNotifier signal_notifier(g_signal_pipe[0], QSocketNotifier::Read);
  QObject::connect(&signal_notifier, &QSocketNotifier::activated, &app, [&] {
    signal_notifier.setEnabled(false);
    server.Stop();
    QCoreApplication::quit();
  });
  return app.exec();
}

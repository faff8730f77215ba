// kavro-server as a whole over loopback sockets, with kavro-sim on a pty as the controller. The
// server runs on a thread of its own with its own event loop, so the clients here may block.
#include <gtest/gtest.h>

#include <QProcess>

#include <atomic>
#include <cstdio>
#include <thread>

#include "link/controller_stack.h"
#include "tests/link/link_fakes.h"
#include "tests/server/server_fixture.h"

namespace kavro::test {
namespace {

// A data text unique to (client, n), so the log shows which request each frame carried.
std::string DataFor(int client, int n) {
  char text[59];
  std::snprintf(text, sizeof text,
                "200A000140400A8000000000A000000000000011223344556677%02X%02X%02X", client, n,
                0x5A);
  return text;
}

class ServerTest : public ServerFixture {
 protected:
  void StartServer(std::size_t queue = 64) {
    WriteDataFile({std::string("0101=") + kCode + " TV POWER"});
    ServerFixture::StartServer(Options(queue));
  }
};

TEST_F(ServerTest, DesktopLinkAndKavroCliWorkThroughTheServer) {
  auto sim = StartSim({"--learn-delay", "0", "--learn-code", kCode});
  StartServer();

  // The desktop program's link, on its TCP choice.
  FakeUi ui;
  ControllerStack stack(ui);
  ControllerLink& link = stack.Link();
  link.SetPortChoice(kTcpPort);
  link.SetTcpHost("127.0.0.1");
  link.SetTcpPort(server_->LinePort());
  stack.Codes().SetData(101, kCode);
  link.Send(1);
  ASSERT_TRUE(WaitFor([&] { return link.State() == kIdle && !stack.Ticks().Enabled(); }));
  link.LearnL1Click();
  link.Send(13);
  ASSERT_TRUE(WaitFor([&] { return link.State() == kIdle && !stack.Ticks().Enabled(); }));
  EXPECT_EQ(ui.Take(), (std::vector<std::string>{"Send(101)", "Click Button!", "Push Controller!",
                                                 "Learn OK!"}));
  EXPECT_EQ(stack.Codes().Data(113), kCode);
  link.CloseLink();

  // kavro-cli on the same data file, through the server.
  auto cli = [&](QStringList args) {
    QProcess process;
    process.start(KAVRO_CLI, QStringList{"--data", QString::fromStdString(data_file_), "--link",
                                         "RaViz", "--host", "127.0.0.1", "--port",
                                         QString::number(server_->LinePort())} +
                                 args);
    process.waitForFinished(10000);
    return process.exitCode();
  };
  EXPECT_EQ(cli({"send", "101"}), 0);
  EXPECT_EQ(cli({"learn", "300", "fan"}), 0);
  std::string value;
  Client http(server_->HttpPort());
  EXPECT_EQ(http.Http("GET", "/api/v1/codes/300", "", &value), 200);
  EXPECT_NE(value.find(std::string("\"data\":\"") + kCode + "\",\"comment\":\"fan\""),
            std::string::npos)
      << value;
  EXPECT_EQ(sim->Count("irsend"), 2);
  EXPECT_EQ(sim->Count("learn"), 2);
}

TEST_F(ServerTest, ManyClientsEachGetTheirOwnAnswersAndEveryFrameOnce) {
  auto sim = StartSim({});
  StartServer();
  constexpr int kClients = 20, kSends = 20;
  std::vector<std::thread> clients;
  std::atomic<int> good = 0;
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      const bool line = c % 2 == 0;
      Client client(line ? server_->LinePort() : server_->HttpPort());
      for (int n = 0; n < kSends; ++n) {
        if (line) {
          client.Write("RAVIZ S53" + DataFor(c, n) + "\r\n");
          if (client.Line() == "RE") ++good;
        } else {
          std::string answer;
          if (client.Http("POST", "/api/v1/send", "{\"data\":\"" + DataFor(c, n) + "\"}",
                          &answer) == 200 &&
              answer == "{\"result\":\"done\"}\n")
            ++good;
        }
      }
    });
  }
  for (std::thread& t : clients) t.join();
  EXPECT_EQ(good, kClients * kSends);
  const std::string log = sim->Log();
  for (int c = 0; c < kClients; ++c)
    for (int n = 0; n < kSends; ++n) {
      const std::string frame = "irsend 53" + DataFor(c, n);
      const std::size_t first = log.find(frame);
      ASSERT_NE(first, std::string::npos) << frame;
      EXPECT_EQ(log.find(frame, first + 1), std::string::npos) << frame;
    }
  EXPECT_EQ(sim->Count("irsend"), kClients * kSends);
}

TEST_F(ServerTest, ClientGoneMidLearnDisturbsNobody) {
  auto sim = StartSim({"--learn-delay", "300", "--learn-code", kCode});
  StartServer();
  Client leaving(server_->LinePort());
  leaving.Write("RAVIZ C\r\n");
  ASSERT_TRUE(WaitFor([&] { return sim->Count("learn") == 1; }));
  leaving.Close();
  Client staying(server_->LinePort());
  staying.Write("RAVIZ S53" + DataFor(1, 1) + "\r\n");
  EXPECT_EQ(staying.Line(), "RE");
  staying.Write("RAVIZ C\r\n");
  EXPECT_EQ(staying.Line(), std::string("RG") + kCode);
  EXPECT_EQ(sim->Count("learn"), 2);
}

TEST_F(ServerTest, DeviceGoneMidExchangeFailsFastAndComesBack) {
  auto sim = StartSim({"--silent", "--close-after", "1"});
  StartServer();
  Client http(server_->HttpPort());
  std::string answer;
  EXPECT_EQ(http.Http("POST", "/api/v1/codes/101/send", "", &answer), 503);
  EXPECT_EQ(answer, "{\"error\":\"controller offline\"}\n");
  EXPECT_EQ(http.Http("GET", "/api/v1/status", "", &answer), 200);
  EXPECT_NE(answer.find("\"online\":false"), std::string::npos) << answer;
  Client line(server_->LinePort());
  line.Write("RAVIZ S53" + DataFor(1, 1) + "\r\n");
  EXPECT_EQ(line.Line(), "ERROR controller offline");

  sim = StartSim({});
  ASSERT_TRUE(WaitFor([&] {
    return http.Http("GET", "/api/v1/status", "", &answer) == 200 &&
           answer.find("\"online\":true") != std::string::npos;
  }));
  EXPECT_EQ(http.Http("POST", "/api/v1/codes/101/send", "", &answer), 200);
  EXPECT_EQ(sim->Count("irsend"), 1);
  EXPECT_NE(server_->Log().find("disappeared"), std::string::npos) << server_->Log();
}

TEST_F(ServerTest, FullQueueAndBadInputAreRefusedAtOnce) {
  auto sim = StartSim({"--send-delay", "300"});
  StartServer(2);
  Client line(server_->LinePort());
  for (int n = 0; n < 3; ++n) line.Write("RAVIZ S53" + DataFor(2, n) + "\r\n");
  // The refusal is made at once but answered in the order of the lines.
  EXPECT_EQ(line.Line(), "RE");
  EXPECT_EQ(line.Line(), "RE");
  EXPECT_EQ(line.Line(), "ERROR queue full");

  // A 1 MiB line without its end costs one error line, and the connection still serves.
  line.Write(std::string(1 << 20, 'X'));
  EXPECT_EQ(line.Line(), "ERROR line too long");
  line.Write("\r\nRAVIZ D\r\nRAVIZ X\r\n");
  EXPECT_EQ(line.Line(), "ERROR unknown command");

  Client http(server_->HttpPort());
  std::string answer;
  EXPECT_EQ(http.Http("GET", "/api/v1/status", "", &answer, "wrong"), 401);
  EXPECT_EQ(http.Http("PUT", "/api/v1/codes/5", std::string(70000, ' '), &answer), 413);
  Client fresh(server_->HttpPort());
  EXPECT_EQ(
      fresh.Http("POST", "/api/v1/send", "{\"data\":\"" + std::string(57, '0') + "G\"}", &answer),
      400);
  EXPECT_EQ(fresh.Http("GET", "/api/v1/nothing", "", &answer), 404);
}

}  // namespace
}  // namespace kavro::test

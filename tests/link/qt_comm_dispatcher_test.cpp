// The Qt hand-over of the serial component: calls run on the Qt thread, in order, and the
// thread's events keep flowing while the component waits.
#include "link/qt_comm_dispatcher.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

#include "serial/commx.h"
#include "serial/port_table.h"

namespace kavro::test {
namespace {

using std::chrono::milliseconds;

void EnsureQtApplication() {
  static int argc = 1;
  static char name[] = "link_tests";
  static char* argv[] = {name, nullptr};
  if (QCoreApplication::instance() == nullptr) new QCoreApplication(argc, argv);
}

// Processes Qt events until done() holds; false after five seconds.
bool ProcessUntil(const std::function<bool()>& done) {
  QDeadlineTimer deadline(5000);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
  }
  return true;
}

class QtCommDispatcherTest : public ::testing::Test {
 protected:
  QtCommDispatcherTest() { EnsureQtApplication(); }
};

TEST_F(QtCommDispatcherTest, RunsWorkerCallsOnTheQtThreadInOrderWhileTheWorkerWaits) {
  QtCommDispatcher dispatcher;
  auto gate = std::make_shared<HandOverGate>();
  QThread* const qtThread = QThread::currentThread();
  std::vector<int> order;
  std::atomic<int> returned{0};
  std::thread worker([&] {
    for (int i = 0; i < 3; ++i) {
      EXPECT_TRUE(dispatcher.RunAndWait(gate, [&, i] {
        EXPECT_EQ(QThread::currentThread(), qtThread);
        order.push_back(i);
      }));
      EXPECT_EQ(order.size(), static_cast<size_t>(i + 1));
      ++returned;
    }
  });
  EXPECT_TRUE(ProcessUntil([&] { return returned == 3; }));
  worker.join();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
}

TEST_F(QtCommDispatcherTest, AClosedGateReleasesTheWorkerAndItsCallNeverRuns) {
  QtCommDispatcher dispatcher;
  auto gate = std::make_shared<HandOverGate>();
  bool ran = false;
  std::promise<void> posted;
  auto result = std::async(std::launch::async, [&] {
    posted.set_value();
    return dispatcher.RunAndWait(gate, [&] { ran = true; });
  });
  posted.get_future().wait();
  // The call may or may not be queued yet; either way it must never run.
  gate->Close();
  EXPECT_FALSE(result.get());
  dispatcher.ProcessPending();
  EXPECT_FALSE(ran);
}

// Inside a handed-over call the owner waits for a second one (as ReceiveBlock inside OnReceive
// does): the wait must serve it, and a timer, and end early on Wake().
TEST_F(QtCommDispatcherTest, AWaitInsideACallServesLaterCallsTimersAndEndsOnWake) {
  QtCommDispatcher dispatcher;
  auto gate = std::make_shared<HandOverGate>();
  std::atomic<bool> secondRan{false};
  bool timerFired = false;
  bool firstDone = false;
  std::thread worker([&] {
    dispatcher.RunAndWait(gate, [&] {
      QTimer::singleShot(0, [&] { timerFired = true; });
      std::thread second([&] { dispatcher.RunAndWait(gate, [&] { secondRan = true; }); });
      const auto deadline = std::chrono::steady_clock::now() + milliseconds(5000);
      while (!(secondRan && timerFired) && std::chrono::steady_clock::now() < deadline) {
        dispatcher.WaitAndProcess(milliseconds(100));
      }
      second.join();
      firstDone = true;
    });
  });
  EXPECT_TRUE(ProcessUntil([&] { return firstDone; }));
  worker.join();
  EXPECT_TRUE(secondRan);
  EXPECT_TRUE(timerFired);

  // Woken from another thread, a long wait ends at once.
  std::thread waker([&] {
    std::this_thread::sleep_for(milliseconds(20));
    dispatcher.Wake();
  });
  const auto start = std::chrono::steady_clock::now();
  dispatcher.WaitAndProcess(milliseconds(10000));
  waker.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(5000));
}

// The component as the program uses it: events on the Qt thread.
TEST_F(QtCommDispatcherTest, TheComponentsEventsRunOnTheQtThread) {
  int master = -1, slave = -1;
  char name[128];
  ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
  PortTable::Set(1, name);
  std::string received;
  {
    QtCommDispatcher dispatcher;
    TCommX comm(dispatcher);
    comm.OnReceive = [&](TCustomCommX* sender, int32_t size) {
      EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
      std::string bytes(static_cast<size_t>(size), '\0');
      EXPECT_EQ(sender->ReceiveBlock(reinterpret_cast<uint8_t*>(bytes.data()), size), size);
      received += bytes;
    };
    comm.PortOpen();
    ASSERT_EQ(write(master, "ping", 4), 4);
    EXPECT_TRUE(ProcessUntil([&] { return received.size() >= 4; }));
    // A read waiting for more bytes is served by the arrivals while it waits.
    comm.OnReceive = nullptr;
    std::thread late([&] {
      std::this_thread::sleep_for(milliseconds(20));
      EXPECT_EQ(write(master, "pong", 4), 4);
    });
    uint8_t buf[4];
    EXPECT_EQ(comm.ReceiveBlock(buf, 4), 4);
    late.join();
    EXPECT_EQ(std::string(buf, buf + 4), "pong");
  }
  EXPECT_EQ(received, "ping");
  PortTable::Clear();
  close(master);
  close(slave);
}

}  // namespace
}  // namespace kavro::test

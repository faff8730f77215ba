#include "link/qt_comm_dispatcher.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QThread>
#include <QTimer>

#include <thread>

namespace kavro {

QtCommDispatcher::QtCommDispatcher() : owner_(QThread::currentThread()), context_(new QObject) {}

QtCommDispatcher::~QtCommDispatcher() {
  // Queued calls still waiting for the context are dropped with it; their gates are closed.
  delete context_;
}

void QtCommDispatcher::Post(std::function<void()> task) {
  QMetaObject::invokeMethod(context_, std::move(task), Qt::QueuedConnection);
}

void QtCommDispatcher::ProcessPending() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtCommDispatcher::WaitAndProcess(std::chrono::milliseconds max) {
  QAbstractEventDispatcher* events = QAbstractEventDispatcher::instance(owner_);
  if (events == nullptr) {
    // No event loop on this thread: nothing can arrive through it.
    std::this_thread::sleep_for(max);
    return;
  }
  // The timer bounds the wait; Wake() and every queued call end it earlier. Events already
  // pending are processed without waiting.
  QTimer bound;
  bound.setSingleShot(true);
  bound.start(max);
  events->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void QtCommDispatcher::Wake() {
  if (QAbstractEventDispatcher* events = QAbstractEventDispatcher::instance(owner_)) {
    events->wakeUp();
  }
}

bool QtCommDispatcher::IsOwnerThread() const { return QThread::currentThread() == owner_; }

}  // namespace kavro

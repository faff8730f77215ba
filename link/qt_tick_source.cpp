#include "link/qt_tick_source.h"

namespace kavro {

QtTickSource::QtTickSource(int interval_ms, QObject* parent) : QObject(parent) {
  timer_.setInterval(interval_ms);
  connect(&timer_, &QTimer::timeout, this, [this] {
    if (handler_) handler_();
  });
}

void QtTickSource::Start() {
  if (!timer_.isActive()) timer_.start();
}

void QtTickSource::Stop() { timer_.stop(); }

bool QtTickSource::Enabled() const { return timer_.isActive(); }

void QtTickSource::SetTickHandler(TickHandler handler) { handler_ = std::move(handler); }

}  // namespace kavro

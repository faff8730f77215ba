#include "link/controller_stack.h"

namespace kavro {

ControllerStack::ControllerStack(LinkUi& ui, TickSource* ticks, int tick_ms)
    : ticks_(PickTicks(ticks, own_ticks_, tick_ms)), link_(ui, codes_, serial_, tcp_, ticks_) {
  // The names the windows' tests and object inspectors find them by.
  tcp_.setObjectName(QStringLiteral("ClientSocket1"));
  if (own_ticks_) own_ticks_->setObjectName(QStringLiteral("Timer1"));
}

ControllerStack::~ControllerStack() { link_.CloseLink(); }

TickSource& ControllerStack::PickTicks(TickSource* given, std::unique_ptr<QtTickSource>& own,
                                       int tick_ms) {
  if (given != nullptr) return *given;
  own = std::make_unique<QtTickSource>(tick_ms);
  return *own;
}

}  // namespace kavro

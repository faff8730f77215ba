// The controller link with everything it runs on, made and taken apart in the one order that is
// safe: the dispatcher before the serial component that posts to it, the channels and the clock
// before the link that holds references to them, and the link gone (its handlers removed) before
// any of them. The main window, kavro-cli and kavro-server each own one.
#pragma once

#include <memory>

#include "link/code_table.h"
#include "link/commx_channel.h"
#include "link/controller_link.h"
#include "link/qt_comm_dispatcher.h"
#include "link/qt_tcp_channel.h"
#include "link/qt_tick_source.h"
#include "serial/commx.h"

namespace kavro {

class ControllerStack {
 public:
  // Needs a QCoreApplication, on the thread that will run the link. `ticks` replaces the link's
  // own 100 ms clock (tests step it by hand); `tick_ms` sets the length of the own clock's tick.
  explicit ControllerStack(LinkUi& ui, TickSource* ticks = nullptr, int tick_ms = 100);
  // Closes the link.
  ~ControllerStack();
  ControllerStack(const ControllerStack&) = delete;
  ControllerStack& operator=(const ControllerStack&) = delete;

  ControllerLink& Link() { return link_; }
  const ControllerLink& Link() const { return link_; }
  CodeTable& Codes() { return codes_; }
  const CodeTable& Codes() const { return codes_; }
  QtCommDispatcher& Dispatcher() { return dispatcher_; }
  TCommX& Commx() { return commx_; }
  QtTcpChannel& Tcp() { return tcp_; }
  const QtTcpChannel& Tcp() const { return tcp_; }
  TickSource& Ticks() { return ticks_; }
  const TickSource& Ticks() const { return ticks_; }

 private:
  static TickSource& PickTicks(TickSource* given, std::unique_ptr<QtTickSource>& own, int tick_ms);

  QtCommDispatcher dispatcher_;
  TCommX commx_{dispatcher_};
  CommxChannel serial_{commx_};
  QtTcpChannel tcp_;
  std::unique_ptr<QtTickSource> own_ticks_;
  TickSource& ticks_;
  CodeTable codes_;
  ControllerLink link_;
};

}  // namespace kavro

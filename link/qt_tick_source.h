// The link's 100 ms reply clock on a QTimer (GUI thread).
#pragma once

#include <QObject>
#include <QTimer>

#include "link/tick_source.h"

namespace kavro {

class QtTickSource : public QObject, public TickSource {
  Q_OBJECT

 public:
  explicit QtTickSource(int interval_ms = 100, QObject* parent = nullptr);

  // Starting a running clock leaves its phase alone, like enabling an enabled timer.
  void Start() override;
  void Stop() override;
  bool Enabled() const override;
  void SetTickHandler(TickHandler handler) override;

 private:
  QTimer timer_;
  TickHandler handler_;
};

}  // namespace kavro

// The link's reply clock: a tick every 100 ms while started.
#pragma once

#include <functional>

namespace kavro {

class TickSource {
 public:
  using TickHandler = std::function<void()>;

  virtual ~TickSource() = default;

  virtual void Start() = 0;
  virtual void Stop() = 0;
  virtual bool Enabled() const = 0;
  virtual void SetTickHandler(TickHandler handler) = 0;
};

}  // namespace kavro

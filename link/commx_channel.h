// The link's serial port on the serial component TCommX.
#pragma once

#include "link/serial_channel.h"

namespace kavro {

class TCommX;

class CommxChannel : public SerialChannel {
 public:
  // Takes over the component's OnReceive and OnError; the component must outlive the channel.
  explicit CommxChannel(TCommX& commx);
  ~CommxChannel() override;
  CommxChannel(const CommxChannel&) = delete;
  CommxChannel& operator=(const CommxChannel&) = delete;

  void SetPortNo(int port) override;
  void PortOpen() override;
  void PortClose() override;
  bool TransBlock(const unsigned char* data, int length) override;
  int ReceiveBlock(unsigned char* buffer, int count) override;
  void ClearTransBuf() override;
  void ClearReceiveBuf() override;
  int TransLength() override;
  void SetReceiveHandler(ReceiveHandler handler) override;
  void SetGoneHandler(GoneHandler handler) override { gone_ = std::move(handler); }

 private:
  TCommX& commx_;
  ReceiveHandler handler_;
  GoneHandler gone_;
};

}  // namespace kavro

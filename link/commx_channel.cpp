#include "link/commx_channel.h"

#include "serial/commx.h"

namespace kavro {

CommxChannel::CommxChannel(TCommX& commx) : commx_(commx) {
  commx_.OnReceive = [this](TCustomCommX*, int32_t size) {
    if (handler_) handler_(size);
  };
  // Line errors are not the link's business (the reply parser sees what they did); a device that
  // went away is, since no reply can come any more.
  commx_.OnError = [this](TCustomCommX*, uint32_t flags) {
    if ((flags & kCommErrDeviceGone) != 0 && gone_) gone_();
  };
}

CommxChannel::~CommxChannel() {
  commx_.OnReceive = nullptr;
  commx_.OnError = nullptr;
}

void CommxChannel::SetPortNo(int port) { commx_.SetPortNo(port); }

void CommxChannel::PortOpen() { commx_.PortOpen(); }

void CommxChannel::PortClose() { commx_.PortClose(); }

bool CommxChannel::TransBlock(const unsigned char* data, int length) {
  return commx_.TransBlock(data, length);
}

int CommxChannel::ReceiveBlock(unsigned char* buffer, int count) {
  return commx_.ReceiveBlock(buffer, count);
}

void CommxChannel::ClearTransBuf() { commx_.ClearTransBuf(); }

void CommxChannel::ClearReceiveBuf() { commx_.ClearReceiveBuf(); }

int CommxChannel::TransLength() { return commx_.GetTransLength(); }

void CommxChannel::SetReceiveHandler(ReceiveHandler handler) { handler_ = std::move(handler); }

}  // namespace kavro

#pragma once

#include <cstdint>

namespace kavro {

// Character format and flow control of a port. One byte each; values beyond the last member can
// be stored (the setters keep them) but are never applied to the device.
enum TCommParityBits : uint8_t { cpbNone, cpbOdd, cpbEven };
enum TCommStopBits : uint8_t { csb1, csb1p5, csb2 };
enum TCommFlowCtrls : uint8_t {
  cfcRtsCts,
  cfcDtrDsr,
  cfcXonXoff,
  cfcHalfHigh,
  cfcHalfLow,
  cfcNone
};

// Line-error flags of OnError's ErrorState (the classic communications line-error word).
inline constexpr uint32_t kCommErrOverrun = 0x0002;  // a character was lost in the hardware
inline constexpr uint32_t kCommErrParity = 0x0004;
inline constexpr uint32_t kCommErrFrame = 0x0008;
// The three flags above are the only line errors ever reported.
inline constexpr uint32_t kCommLineErrorMask = 0x000E;
// The device went away (adapter unplugged, other end of a pseudo-terminal closed); reported once.
inline constexpr uint32_t kCommErrDeviceGone = 0x0400;

// Modem-status bits for IsSignal.
inline constexpr uint32_t kCommCtsOn = 0x0010;
inline constexpr uint32_t kCommDsrOn = 0x0020;
inline constexpr uint32_t kCommRingOn = 0x0040;
inline constexpr uint32_t kCommRlsdOn = 0x0080;

// The device control block in our terms: what the line is set to. The component edits it field
// by field and hands the whole block to the port on every change.
struct LineSettings {
  int32_t bitRate = 9600;
  uint8_t byteSize = 8;
  TCommParityBits parity = cpbNone;
  TCommStopBits stopBits = csb1;
  TCommFlowCtrls flowCtrl = cfcRtsCts;
  uint8_t xonChar = 0x11;
  uint8_t xoffChar = 0x13;
};

}  // namespace kavro

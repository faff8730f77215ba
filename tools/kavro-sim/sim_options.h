#pragma once
// Command-line options of kavro-sim: what the simulated controller or IR server answers, and how.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/kavro-sim/hex.h"

namespace kavro::sim {

enum class Transport { Pty, Tcp };

struct SimOptions {
  Transport transport = Transport::Pty;
  std::string host = "127.0.0.1";  // TCP only; never anything but loopback unless given
  std::uint16_t port = 0;          // TCP only; 0 picks a free port

  int learnDelayMs = 500;       // from the learn request to the learned block
  Bytes learnCode;              // the 29-byte signal block a learn answers with
  std::string learnPrefix;      // 'A' and 'C' bytes sent at once, before the block
  bool learnFail = false;       // answer a learn with 'N' instead of 'G' and the block
  Bytes sendReply{'E'};         // answer to an IR send frame
  int sendDelayMs = 0;          // from the IR send frame to its answer
  std::uint8_t inValue = 0x00;  // value of an input port nothing was written to
  std::uint8_t inData = 0x5A;   // answer to the input data request
  bool answerD = false;         // answer "RAVIZ D" with an 'M' line

  bool silent = false;         // never answer a frame or line
  std::size_t split = 0;       // bytes per written piece; 0 writes each answer whole
  int splitPauseMs = 10;       // pause between two pieces of one answer
  Bytes unsolicited;           // bytes sent without being asked
  int unsolicitedAfterMs = 0;  // after the first frame (pty) or the connect (TCP)
  int unsolicitedEveryMs = 0;  // 0: once; otherwise repeated at this period
  int closeAfter = 0;          // frames or lines handled before closing; 0: never
  int frameGapMs = 200;        // an unfinished serial frame older than this is given up; 0: never

  std::string logPath;  // empty: stderr
  bool exitOnStdinEof = false;
};

// The block a learn answers with unless --learn-code gives one: one pulse-distance frame of
// 32 bits (an address, its complement, a command, its complement); frames 2 and 3 absent.
Bytes defaultLearnBlock();

struct ParsedOptions {
  std::optional<SimOptions> options;  // set when the arguments were good
  bool help = false;                  // --help was given
  std::string error;                  // why the arguments were refused
};

// args excludes the program name.
ParsedOptions parseOptions(const std::vector<std::string>& args);

const char* usageText();

}  // namespace kavro::sim

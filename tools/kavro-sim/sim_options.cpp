#include "tools/kavro-sim/sim_options.h"

#include <arpa/inet.h>

#include <charconv>
#include <string_view>

namespace kavro::sim {

namespace {

constexpr std::size_t kSignalBlockSize = 29;
constexpr long kMaxMillis = 24L * 3600 * 1000;

std::optional<long> parseNumber(std::string_view text, long min, long max) {
  long value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value < min || value > max) {
    return std::nullopt;
  }
  return value;
}

// "PORT", "HOST:PORT"; "localhost" is the loopback address. Only IPv4 literals otherwise,
// so the address we listen on is exactly the one given.
bool parseAddress(std::string_view text, SimOptions& options, std::string& error) {
  std::string_view host = "127.0.0.1";
  std::string_view port = text;
  if (const auto colon = text.rfind(':'); colon != std::string_view::npos) {
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
  }
  if (host == "localhost") host = "127.0.0.1";
  in_addr address{};
  const std::string hostText(host);
  if (inet_pton(AF_INET, hostText.c_str(), &address) != 1) {
    error = "--tcp: not an IPv4 address: " + hostText;
    return false;
  }
  const auto number = parseNumber(port, 0, 65535);
  if (!number) {
    error = "--tcp: not a port number: " + std::string(port);
    return false;
  }
  options.host = hostText;
  options.port = static_cast<std::uint16_t>(*number);
  return true;
}

std::optional<std::uint8_t> parseByte(std::string_view text) {
  const auto bytes = parseHex(text.size() == 1 ? "0" + std::string(text) : std::string(text));
  if (!bytes || bytes->size() != 1) return std::nullopt;
  return (*bytes)[0];
}

}  // namespace

Bytes defaultLearnBlock() {
  Bytes block(kSignalBlockSize, 0);
  block[0] = 0x30;     // LongTime
  block[1] = 0x10;     // ShortTime
  block[2] = 0x00;     // AltTime: same as ShortTime
  block[3] = 0x01;     // pulse distance; leader mark bits 9-8
  block[4] = 0x40;     // leader mark 0x140
  block[5] = 32 << 1;  // 32 bits; leader space bit 8 clear
  block[6] = 0xA0;     // leader space 0xA0
  // Bytes 7..18: frames 2 and 3 absent. Bits: address 0x04, command 0x08, each with its complement.
  block[19] = 0x04;
  block[20] = 0xFB;
  block[21] = 0x08;
  block[22] = 0xF7;
  return block;
}

ParsedOptions parseOptions(const std::vector<std::string>& args) {
  ParsedOptions result;
  SimOptions options;
  options.learnCode = defaultLearnBlock();
  bool haveTransport = false;
  bool haveSplitPause = false;

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string_view& out) {
      if (i + 1 >= args.size()) {
        result.error = arg + " needs a value";
        return false;
      }
      out = args[++i];
      return true;
    };
    auto millis = [&](int& out) {
      std::string_view text;
      if (!value(text)) return false;
      const auto number = parseNumber(text, 0, kMaxMillis);
      if (!number) {
        result.error = arg + ": not a number of milliseconds: " + std::string(text);
        return false;
      }
      out = static_cast<int>(*number);
      return true;
    };
    auto hexBlock = [&](Bytes& out, std::size_t minSize, std::size_t maxSize) {
      std::string_view text;
      if (!value(text)) return false;
      const auto bytes = parseHex(text);
      if (!bytes || bytes->size() < minSize || bytes->size() > maxSize) {
        result.error = arg + ": needs " +
                       (minSize == maxSize
                            ? std::to_string(minSize * 2)
                            : std::to_string(minSize * 2) + " to " + std::to_string(maxSize * 2)) +
                       " hex digits: " + std::string(text);
        return false;
      }
      out = *bytes;
      return true;
    };
    auto hexByte = [&](std::uint8_t& out) {
      std::string_view text;
      if (!value(text)) return false;
      const auto byte = parseByte(text);
      if (!byte) {
        result.error = arg + ": needs one byte in hex: " + std::string(text);
        return false;
      }
      out = *byte;
      return true;
    };

    bool ok = true;
    std::string_view text;
    if (arg == "--help" || arg == "-h") {
      result.help = true;
      return result;
    } else if (arg == "--pty" || arg == "--tcp") {
      if (haveTransport) {
        result.error = "give either --pty or --tcp, once";
        return result;
      }
      haveTransport = true;
      if (arg == "--pty") {
        options.transport = Transport::Pty;
      } else {
        options.transport = Transport::Tcp;
        ok = value(text) && parseAddress(text, options, result.error);
      }
    } else if (arg == "--learn-delay") {
      ok = millis(options.learnDelayMs);
    } else if (arg == "--learn-code") {
      ok = hexBlock(options.learnCode, kSignalBlockSize, kSignalBlockSize);
    } else if (arg == "--learn-prefix") {
      ok = value(text);
      if (ok && (text.empty() || text.find_first_not_of("AC") != std::string_view::npos)) {
        result.error = "--learn-prefix: only the letters A and C: " + std::string(text);
        ok = false;
      }
      if (ok) options.learnPrefix = text;
    } else if (arg == "--learn-fail") {
      options.learnFail = true;
    } else if (arg == "--send-reply") {
      ok = hexBlock(options.sendReply, 1, 256);
    } else if (arg == "--send-delay") {
      ok = millis(options.sendDelayMs);
    } else if (arg == "--in-value") {
      ok = hexByte(options.inValue);
    } else if (arg == "--indata") {
      ok = hexByte(options.inData);
    } else if (arg == "--answer-d") {
      options.answerD = true;
    } else if (arg == "--silent") {
      options.silent = true;
    } else if (arg == "--split") {
      ok = value(text);
      const auto number = ok ? parseNumber(text, 1, 1 << 20) : std::nullopt;
      if (ok && !number) {
        result.error = "--split: needs a number of bytes from 1: " + std::string(text);
        ok = false;
      }
      if (ok) options.split = static_cast<std::size_t>(*number);
    } else if (arg == "--split-pause") {
      ok = millis(options.splitPauseMs);
      haveSplitPause = true;
    } else if (arg == "--unsolicited") {
      ok = hexBlock(options.unsolicited, 1, 4096);
    } else if (arg == "--unsolicited-after") {
      ok = millis(options.unsolicitedAfterMs);
    } else if (arg == "--unsolicited-every") {
      ok = millis(options.unsolicitedEveryMs);
    } else if (arg == "--close-after") {
      ok = value(text);
      const auto number = ok ? parseNumber(text, 1, 1 << 30) : std::nullopt;
      if (ok && !number) {
        result.error = "--close-after: needs a count from 1: " + std::string(text);
        ok = false;
      }
      if (ok) options.closeAfter = static_cast<int>(*number);
    } else if (arg == "--frame-gap") {
      ok = millis(options.frameGapMs);
    } else if (arg == "--log") {
      ok = value(text);
      if (ok) options.logPath = text;
    } else if (arg == "--exit-on-stdin-eof") {
      options.exitOnStdinEof = true;
    } else {
      result.error = "unknown option: " + arg;
      return result;
    }
    if (!ok) return result;
  }

  if (!haveTransport) {
    result.error = "give --pty or --tcp [HOST:]PORT";
    return result;
  }
  if (haveSplitPause && options.split == 0) {
    result.error = "--split-pause needs --split";
    return result;
  }
  result.options = options;
  return result;
}

const char* usageText() {
  return R"(usage: kavro-sim (--pty | --tcp [HOST:]PORT) [options]
Stands in for the IR controller (--pty: a pseudo-terminal, its path on the first output line)
or the network IR server (--tcp: loopback unless HOST is given; port 0 picks a free one, the
address is the first output line).

  --learn-delay MS        delay before the learned code (default 500)
  --learn-code HEX58      the 29-byte block a learn answers with
  --learn-prefix AC       'A'/'C' bytes sent at once, before the learned code
  --learn-fail            a learn answers 'N' (TCP: the line RN)
  --send-reply HEX        answer to an IR send (default 45, 'E'; TCP: other values give ERROR HEX)
  --send-delay MS         delay before that answer (default 0)
  --in-value HEX          value of input ports never written (default 00)
  --indata HEX            answer to the input data request (default 5A)
  --answer-d              answer RAVIZ D with the line MOK (TCP)
  --silent                never answer
  --split N               write answers in pieces of N bytes
  --split-pause MS        pause between pieces (default 10)
  --unsolicited HEX       send these bytes unasked, after the first frame (pty) or the connect
  --unsolicited-after MS  ... this much later (default 0)
  --unsolicited-every MS  ... and again at this period (default 0: once)
  --close-after N         close after N frames or lines (pty: the device vanishes, TCP: the
                          connection closes and the next one is accepted)
  --frame-gap MS          give up an unfinished serial frame after this silence
                          (default 200; 0: never)
  --log FILE              log every frame, line and answer with its time (default stderr)
  --exit-on-stdin-eof     stop when standard input closes
)";
}

}  // namespace kavro::sim

// The exchange formats of other IR tools: Pronto hex, raw timings, LIRC lircd.conf, Flipper Zero
// .ir, IRDB CSV (import only) and Broadlink base64. Parsers never throw and never give up on a
// whole file for one bad entry: each entry comes back with what it holds or why it cannot be
// read.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "codec/decode.h"
#include "codec/encode.h"
#include "codec/ir_signal.h"
#include "codec/outcome.h"
#include "datafile/signal_block.h"

namespace kavro::codec {

enum class Format { kPronto, kRaw, kLirc, kFlipper, kIrdbCsv, kBroadlink };

// "pronto", "raw", "lirc", "flipper", "irdb" (also "csv"), "broadlink"; any case.
std::optional<Format> FormatFromName(std::string_view name);
std::string_view FormatName(Format format);
// The format of a file from its content alone; nothing when none fits.
std::optional<Format> DetectFormat(std::string_view content);

// One entry of an imported file: its name (UTF-8) and either its timings or a protocol's
// numbers; `error` says why neither could be read from it.
struct ImportEntry {
  std::string name;
  std::optional<IrSignal> signal;
  std::optional<EncodeRequest> request;
  std::string error;
};

std::vector<ImportEntry> ParseEntries(Format format, std::string_view content);

// A code to write: its number, comment (UTF-8), block and decode.
struct ExportCode {
  int number = 0;
  std::string comment;
  SignalBlock block;
  Decoded decoded;
};

struct ExportOptions {
  std::optional<double> unit_ns;  // needed by every format that writes timings
  int carrier_hz = 38000;         // for codes whose protocol has no nominal carrier
};

// The whole file. Pronto, raw and Broadlink write one code per line as
// "NNNN<TAB>comment<TAB>text"; LIRC writes space_enc remotes for codes that decode alike and a
// raw_codes remote for the rest; Flipper writes parsed entries for the protocols it names and raw
// entries otherwise. Refused without a unit when timings are needed (the reason is
// NoUnitMessage()), and for IRDB CSV, which is import only.
Outcome<std::string> WriteEntries(Format format, std::span<const ExportCode> codes,
                                  const ExportOptions& options);

}  // namespace kavro::codec

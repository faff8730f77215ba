#include "codec/formats.h"

#include "codec/fmt_broadlink.h"
#include "codec/fmt_flipper.h"
#include "codec/fmt_irdb.h"
#include "codec/fmt_lines.h"
#include "codec/fmt_lirc.h"
#include "codec/fmt_pronto.h"
#include "codec/fmt_raw.h"
#include "codec/fmt_signal.h"
#include "codec/fmt_text.h"
#include "codec/signal_settings.h"

namespace kavro::codec {

std::optional<Format> FormatFromName(std::string_view name) {
  struct Named {
    std::string_view name;
    Format format;
  };
  static constexpr Named kNames[] = {
      {"pronto", Format::kPronto},      {"raw", Format::kRaw},      {"lirc", Format::kLirc},
      {"flipper", Format::kFlipper},    {"irdb", Format::kIrdbCsv}, {"csv", Format::kIrdbCsv},
      {"broadlink", Format::kBroadlink}};
  for (const Named& named : kNames) {
    if (EqualsNoCase(name, named.name)) return named.format;
  }
  return std::nullopt;
}

std::string_view FormatName(Format format) {
  switch (format) {
    case Format::kPronto: return "pronto";
    case Format::kRaw: return "raw";
    case Format::kLirc: return "lirc";
    case Format::kFlipper: return "flipper";
    case Format::kIrdbCsv: return "irdb";
    case Format::kBroadlink: return "broadlink";
  }
  return "";
}

std::optional<Format> DetectFormat(std::string_view content) {
  if (content.substr(0, 3) == "\xEF\xBB\xBF") content.remove_prefix(3);  // a UTF-8 mark
  LineReader lines(content);
  std::string_view line;
  while (lines.Next(line)) {
    if (IsBlankOrComment(line)) continue;
    const std::string_view text = Trim(line);
    if (StartsWithNoCase(text, "Filetype:") || StartsWithNoCase(text, "name:")) {
      return Format::kFlipper;
    }
    Tokens tokens(text, kBlanks);
    std::string_view first, second;
    if (tokens.Next(first) && first == "begin" && tokens.Next(second) && second == "remote") {
      return Format::kLirc;
    }
    if (LooksLikeIrdb(text)) return Format::kIrdbCsv;
    const std::string_view code = LineText(line);
    if (LooksLikePronto(code)) return Format::kPronto;
    if (LooksLikeBroadlink(code)) return Format::kBroadlink;
    if (LooksLikeRaw(code)) return Format::kRaw;
    return std::nullopt;  // the first line that says something decides
  }
  return std::nullopt;
}

std::vector<ImportEntry> ParseEntries(Format format, std::string_view content) {
  switch (format) {
    case Format::kPronto: return ParsePronto(content);
    case Format::kRaw: return ParseRaw(content);
    case Format::kLirc: return ParseLirc(content);
    case Format::kFlipper: return ParseFlipper(content);
    case Format::kIrdbCsv: return ParseIrdb(content);
    case Format::kBroadlink: return ParseBroadlink(content);
  }
  return {};
}

Outcome<std::string> WriteEntries(Format format, std::span<const ExportCode> codes,
                                  const ExportOptions& options) {
  const bool no_unit = !HasUnit(options) && !codes.empty();
  switch (format) {
    case Format::kIrdbCsv: return Outcome<std::string>::Fail("IRDB CSV is import only");
    case Format::kLirc: return WriteLirc(codes, options);
    case Format::kFlipper: return WriteFlipper(codes, options);
    case Format::kPronto:
      if (no_unit) return Outcome<std::string>::Fail(NoUnitMessage());
      return WritePronto(codes, options);
    case Format::kRaw:
      if (no_unit) return Outcome<std::string>::Fail(NoUnitMessage());
      return WriteRaw(codes, options);
    case Format::kBroadlink:
      if (no_unit) return Outcome<std::string>::Fail(NoUnitMessage());
      return WriteBroadlink(codes, options);
  }
  return Outcome<std::string>::Fail("unknown format");
}

}  // namespace kavro::codec

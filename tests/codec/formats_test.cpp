// The exchange formats: public vectors read per format, files that are partly or wholly refused,
// format detection, and blocks written in each timing format and read back into the same block.
#include "codec/formats.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/fmt_broadlink.h"
#include "codec/fmt_flipper.h"
#include "codec/fmt_pronto.h"
#include "codec/fmt_raw.h"
#include "codec/signal_settings.h"
#include "codec/timings.h"
#include "codec_test_blocks.h"

namespace kavro::codec {
namespace {

using test::BitHex;
using test::FromHex;

// NEC1 D=4 F=8 (0x20DF10EF) in Pronto, from its IRDB entry: 34 once pairs, 2 repeat pairs.
std::string ProntoNec1() {
  std::string text = "0000 006C 0022 0002 015B 00AD";
  for (char bit : std::string("00100000110111110001000011101111")) {
    text += bit == '1' ? " 0016 0041" : " 0016 0016";
  }
  return text + " 0016 05F7 015B 0057 0016 0E6C";
}

constexpr const char* kLircNec1 = R"(# the LG TV's power key
begin remote
  name  lg_tv
  bits  16
  flags SPACE_ENC|CONST_LENGTH
  header 9024 4512
  one 564 1692
  zero 564 564
  ptrail 564
  repeat 9024 2256
  pre_data_bits 16
  pre_data 0x20DF
  gap 108000
  frequency 38400
  begin codes
    KEY_POWER 0x10EF
  end codes
end remote
)";

constexpr const char* kFlipperNec1 =
    "Filetype: IR signals file\nVersion: 1\n#\nname: POWER\ntype: parsed\nprotocol: NEC\n"
    "address: 04 00 00 00\ncommand: 08 00 00 00\n";

// NEC1 D=4 F=8 with its ditto frame, 17.625 µs a count (Short 32, Long 96, leaders 512/256 and
// 512/128, pause 2256).
constexpr const char* kNec1Block = "6020000200430088D00200028000000000000020DF10EF000000000000";
constexpr double kNecUnit = 17625;

ExportCode Code(int number, std::string comment, const SignalBlock& block) {
  return {number, std::move(comment), block, Decode(block)};
}

TEST(Formats, PublicVectorsReadAsSignals) {
  struct Case {
    Format format;
    std::string content;
    std::string name;
    int carrier;
    size_t intro_size;
    std::vector<int32_t> intro_start;
    int32_t intro_last;
    std::vector<int32_t> repeat;
  };
  const Case cases[] = {
      {Format::kPronto,
       ProntoNec1(),
       "line 1",
       38381,
       68,
       {9041, -4507, 573, -573},
       -39785,
       {9041, -2267, 573, -96193}},
      // header, 32 bits, ptrail, and the rest of the 108 ms period as the gap
      {Format::kLirc,
       kLircNec1,
       "KEY_POWER",
       38400,
       68,
       {9024, -4512, 564, -564, 564, -564, 564, -1692},
       -39756,
       {9024, -2256, 564}},
      {Format::kRaw,
       "0001\tPower\tFreq=38400Hz[+9024,-4512,+564,-39756][+9024,-2256,+564,-96156][]",
       "Power",
       38400,
       4,
       {9024, -4512},
       -39756,
       {9024, -2256, 564, -96156}},
      {Format::kRaw, "POWER\t9024 4512, 564", "POWER", 0, 3, {9024, -4512}, 564, {}},
      // 275, 137, 17 and 52 ticks of 32.84 µs, then the end mark
      {Format::kBroadlink, "b64:JgAGAAABE4kRNA0F", "line 1", 0, 4, {9031, -4499, 558}, -1708, {}},
      // as a device learns it: a last space of 0x0d05 ticks, then zero padding
      {Format::kBroadlink, "JgAKAAABE4kRNBEADQUAAAAA", "line 1", 0, 6, {9031}, -109456, {}},
      {Format::kFlipper,
       "Filetype: IR signals file\nVersion: 1\n#\nname: Mute\ntype: raw\nfrequency: 38000\n"
       "duty_cycle: 0.330000\ndata: 9024 4512 564\ndata: 564 564\n",
       "Mute",
       38000,
       5,
       {9024, -4512, 564, -564},
       564,
       {}},
      {Format::kLirc,
       "begin remote\nname x\nflags RAW_CODES\nbegin raw_codes\nname KEY_1\n 900 450\n 560\n"
       "end raw_codes\nend remote\n",
       "KEY_1",
       38000,
       3,
       {900, -450},
       560,
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    const std::vector<ImportEntry> entries = ParseEntries(c.format, c.content);
    ASSERT_EQ(entries.size(), 1u);
    const ImportEntry& entry = entries[0];
    ASSERT_TRUE(entry.signal) << entry.error;
    EXPECT_EQ(entry.name, c.name);
    EXPECT_EQ(entry.signal->carrier_hz, c.carrier);
    ASSERT_EQ(entry.signal->intro.size(), c.intro_size);
    EXPECT_EQ(std::vector<int32_t>(entry.signal->intro.begin(),
                                   entry.signal->intro.begin() + c.intro_start.size()),
              c.intro_start);
    EXPECT_EQ(entry.signal->intro.back(), c.intro_last);
    EXPECT_EQ(entry.signal->repeat, c.repeat);
  }
}

TEST(Formats, ProtocolNumbersReadAsRequests) {
  struct Case {
    Format format;
    std::string content;
    std::string name;
    std::string protocol;
    int device, subdevice, function;
  };
  const Case cases[] = {
      {Format::kIrdbCsv, "functionname,protocol,device,subdevice,function\nPOWER,NEC1,4,-1,8\n",
       "POWER", "NEC1", 4, -1, 8},
      {Format::kIrdbCsv, "\"VOL+, up\",Sony12,1,-1,18", "VOL+, up", "Sony12", 1, -1, 18},
      {Format::kFlipper, kFlipperNec1, "POWER", "NEC1", 4, -1, 8},
      {Format::kFlipper,
       "name: X\ntype: parsed\nprotocol: NECext\naddress: 04 05 00 00\ncommand: 08 F7 00 00\n", "X",
       "NEC1", 4, 5, 8},
      {Format::kFlipper,
       "name: Y\ntype: parsed\nprotocol: SIRC20\naddress: 61 00 00 00\ncommand: 15 00 00 00\n", "Y",
       "Sony20", 1, 3, 21},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    const std::vector<ImportEntry> entries = ParseEntries(c.format, c.content);
    ASSERT_EQ(entries.size(), 1u);
    ASSERT_TRUE(entries[0].request) << entries[0].error;
    EXPECT_EQ(entries[0].name, c.name);
    EXPECT_EQ(entries[0].request->protocol, c.protocol);
    EXPECT_EQ(entries[0].request->device, c.device);
    EXPECT_EQ(entries[0].request->subdevice, c.subdevice);
    EXPECT_EQ(entries[0].request->function, c.function);
  }
}

// Flipper's numbers and the IRP protocols' numbers, both ways.
TEST(Formats, FlipperProtocolsMapBothWays) {
  struct Case {
    const char* irp;
    int d, s, f;
    const char* flipper;
    uint32_t address, command;
    int s_back;  // the subdevice read back: -1 where Flipper leaves the default
  };
  const Case cases[] = {
      {"NEC1", 4, 251, 8, "NEC", 0x04, 0x08, -1},
      {"NEC1", 4, 5, 8, "NECext", 0x0504, 0xF708, 5},
      {"NECx1", 7, 7, 2, "Samsung32", 0x07, 0x02, 7},
      {"Aiwa", 1, 2, 3, "NEC42", 0x0201, 0x03, 2},
      {"Sony15", 100, -1, 21, "SIRC15", 100, 21, -1},
      {"Panasonic", 128, 0, 61, "Kaseikyo", 0x00200280, 0x3D0, 0},
      {"Denon-K", 3, 5, 0x923, "Kaseikyo", 0x02325435, 0x123, 5},
      {"RCA", 15, -1, 200, "RCA", 15, 200, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.irp);
    Decoded decoded;
    decoded.protocol = c.irp;
    decoded.device = c.d;
    if (c.s >= 0) decoded.subdevice = c.s;
    decoded.function = c.f;
    decoded.confident = true;
    const std::optional<FlipperParsed> parsed = FlipperFromDecoded(decoded);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->protocol, c.flipper);
    EXPECT_EQ(parsed->address, c.address);
    EXPECT_EQ(parsed->command, c.command);
    const Outcome<EncodeRequest> back = RequestFromFlipper(c.flipper, c.address, c.command);
    ASSERT_TRUE(back) << back.reason();
    EXPECT_EQ(back->protocol, c.irp);
    EXPECT_EQ(back->device, c.d);
    EXPECT_EQ(back->subdevice, c.s_back);
    EXPECT_EQ(back->function, c.f);
  }
  Decoded nec2{"NEC2", 4, 251, 8, true};
  EXPECT_FALSE(FlipperFromDecoded(nec2)) << "Flipper's NEC sends dittos, NEC2 does not";
}

// LIRC's flags: REVERSE sends each field from its lowest bit, NO_HEAD_REP repeats without the
// header, min_repeat 2 gives two more copies, each after the gap.
TEST(Formats, LircFlagsShapeTheSignal) {
  const char* conf =
      "begin remote\n bits 12\n flags SPACE_ENC|REVERSE|NO_HEAD_REP\n header 2400 600\n"
      " one 1200 600\n zero 600 600\n gap 45000\n min_repeat 2\n frequency 40000\n"
      " begin codes\n  KEY_POWER 0xA90\n end codes\nend remote\n";
  const std::vector<ImportEntry> entries = ParseEntries(Format::kLirc, conf);
  ASSERT_EQ(entries.size(), 1u);
  ASSERT_TRUE(entries[0].signal) << entries[0].error;
  const std::vector<int32_t>& us = entries[0].signal->intro;
  ASSERT_EQ(us.size(), 26u + 24 + 24);
  // 0xA90 from its lowest bit: 0000 1001 0101
  EXPECT_EQ(
      (std::vector<int32_t>(us.begin(), us.begin() + 12)),
      (std::vector<int32_t>{2400, -600, 600, -600, 600, -600, 600, -600, 600, -600, 1200, -600}));
  EXPECT_EQ(us[24], 1200);
  EXPECT_EQ(us[25], -45600) << "the last bit's space joins the gap";
  EXPECT_EQ(us[26], 600) << "the copy starts with its first bit";
  EXPECT_EQ(us.back(), -600);
  EXPECT_TRUE(entries[0].signal->repeat.empty());
}

TEST(Formats, TextWritersGiveTheDocumentedLayout) {
  const IrSignal signal{38000, {9024, -4512, 564, -564}, {}};
  // 4145146 / 38000 Hz gives word 0x6D, a period of 26.30 µs: 343, 172 and 21 periods.
  EXPECT_EQ(*ProntoText(signal), "0000 006D 0002 0000 0157 00AC 0015 0015");
  EXPECT_EQ(*RawText(signal), "Freq=38000Hz[+9024,-4512,+564,-564][][]");
  // 26 00 06 00, 275 ticks as 00 01 13, then 137, 17 and 17, and the end mark 0d 05
  EXPECT_EQ(*BroadlinkText(signal), "b64:JgAGAAABE4kREQ0F");
  EXPECT_EQ(ProntoText({38000, {9024, -4512, 564}, {}}).reason(),
            "the signal ends with a mark; Pronto needs whole pairs");
}

// Codes of one protocol share a remote, their common leading bytes as pre_data.
TEST(Formats, LircGroupsCodesThatDecodeAlike) {
  const SignalBlock power = FromHex(kNec1Block);
  const SignalBlock mute = FromHex("6020000200430088D00200028000000000000020DF906F000000000000");
  const SignalBlock sony = FromHex("3018008060181883F00060181883F000601818A90A90A9000000000000");
  const ExportCode codes[] = {Code(1, "Power", power), Code(2, "Sony", sony),
                              Code(3, "Mute", mute)};
  const Outcome<std::string> text = WriteEntries(Format::kLirc, codes, {kNecUnit});
  ASSERT_TRUE(text);
  for (const char* line :
       {"  name  NEC1\n", "  bits           16\n", "  pre_data_bits  16\n",
        "  pre_data       0x20DF\n", "  ptrail         564\n", "  repeat         9024 2256\n",
        "Power                   0x10EF\n", "Mute                    0x906F\n", "  name  Sony12\n",
        "  min_repeat     2\n"}) {
    EXPECT_NE(text->find(line), std::string::npos) << line << "\n" << *text;
  }
  std::vector<std::string> names;
  for (const ImportEntry& entry : ParseEntries(Format::kLirc, *text)) names.push_back(entry.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Power", "Mute", "Sony"}));
}

TEST(Formats, BadEntriesAreRefusedWithTheirReason) {
  struct Case {
    Format format;
    std::string content;
    std::string error;
  };
  std::string long_list = "+100";
  for (int i = 0; i < 1024; ++i) long_list += " 100";
  const Case cases[] = {
      {Format::kFlipper,
       "name: P\ntype: parsed\nprotocol: RC5\naddress: 00 00 00 00\ncommand: 0C 00 00 00",
       "line 1: RC5 is bi-phase coded and cannot be stored"},
      {Format::kFlipper,
       "name: P\ntype: parsed\nprotocol: NEC\naddress: 04 00\ncommand: 08 00 00 00",
       "line 1: address '04 00' is not 4 hex bytes"},
      {Format::kFlipper,
       "name: P\ntype: parsed\nprotocol: SIRC\naddress: 20 00 00 00\ncommand: 01 00 00 00",
       "line 1: SIRC address 0x20 > 0x1F"},
      {Format::kFlipper, "Filetype: IR signals file\n", "no \"name:\" entry in the file"},
      {Format::kPronto, "5000 0073 0000 0001 0001 0001", "line 1: Pronto 5000 is RC5"},
      {Format::kPronto, "0000 006C 0001 0000 015B",
       "the header asks for 2 duration words, the code has 1"},
      {Format::kPronto, "0000 006C 0001 0000 015B 00G0", "'00G0' is not a Pronto word"},
      {Format::kRaw, "+9024 +4512",
       "durations do not alternate at '+4512' (a space belongs there)"},
      {Format::kRaw, "Freq=38000Hz[+100,-0]", "a duration of 0"},
      {Format::kRaw, "[+100,-100,+100][+100,-100]",
       "a sequence ends with a mark where more follows"},
      {Format::kBroadlink, "sgAEAAECAwQ=", "a Broadlink RF packet (433 MHz), not IR"},
      {Format::kBroadlink, "b64:Jg!A", "not base64 at character 3 '!'"},
      {Format::kIrdbCsv, "functionname,protocol,device,subdevice,function\nPOWER,NEC1,4,8",
       "line 2: 4 fields where 5 belong"},
      {Format::kIrdbCsv, "POWER,NEC1,x,-1,8", "line 1: device 'x' is not a number"},
      {Format::kIrdbCsv, "POWER, ,4,-1,8", "line 1: no protocol"},
      {Format::kLirc,
       "begin remote\nflags RC5|CONST_LENGTH\nbits 13\nbegin codes\nA 0x1\nend codes\nend remote",
       "line 2: RC5 is bi-phase coded and cannot be stored"},
      {Format::kLirc,
       "begin remote\nbits 8\none 500 1500\nzero 500 500\nheader x 1\nbegin codes\nA 1\n",
       "line 5: header 'x' is not a number"},
      {Format::kLirc, "nothing here", "no \"begin remote\" in the file"},
      {Format::kRaw, long_list, "more than 1024 durations"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content.substr(0, 80));
    const std::vector<ImportEntry> entries = ParseEntries(c.format, c.content);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_FALSE(entries[0].signal || entries[0].request);
    EXPECT_FALSE(entries[0].name.empty());
    EXPECT_NE(entries[0].error.find(c.error), std::string::npos) << entries[0].error;
  }
}

TEST(Formats, ABadLineAmongGoodOnesIsAPartialRead) {
  const std::string content = "# exported\n0001\tPower\t" + ProntoNec1() +
                              "\n\n0002\tBroken\t0000 006C 0001\nVol up\t" + ProntoNec1() + "\n";
  const std::vector<ImportEntry> entries = ParseEntries(Format::kPronto, content);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].name, "Power");
  EXPECT_TRUE(entries[0].signal);
  EXPECT_EQ(entries[1].name, "Broken");
  EXPECT_FALSE(entries[1].signal);
  EXPECT_EQ(entries[1].error, "line 4: a Pronto code has at least 4 words, this one 3");
  EXPECT_EQ(entries[2].name, "Vol up");
  EXPECT_TRUE(entries[2].signal);
}

TEST(Formats, DetectedFromTheContent) {
  struct Case {
    std::string content;
    std::optional<Format> format;
  };
  const Case cases[] = {
      {kFlipperNec1, Format::kFlipper},
      {kLircNec1, Format::kLirc},
      {"functionname,protocol,device,subdevice,function\n", Format::kIrdbCsv},
      {"POWER,NEC1,4,-1,8\n", Format::kIrdbCsv},
      {"\n0001\tPower\t" + ProntoNec1(), Format::kPronto},
      {"Freq=38400Hz[+9024,-4512][][]", Format::kRaw},
      {"+9024 -4512 +564", Format::kRaw},
      {"+9024,-4512,+564,-564,+564", Format::kRaw},
      {"b64:JgAGAAABE4kRNA0F", Format::kBroadlink},
      {"JgAGAAABE4kRNA0F", Format::kBroadlink},
      {"hello world", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DetectFormat(c.content), c.format) << c.content;
  }
  EXPECT_EQ(FormatFromName("CSV"), Format::kIrdbCsv);
  EXPECT_EQ(FormatFromName("Flipper"), Format::kFlipper);
  EXPECT_FALSE(FormatFromName("xml"));
}

TEST(Formats, WritingRefusesWhatItCannotDo) {
  const ExportCode codes[] = {Code(1, "Power", FromHex(kNec1Block))};
  const ExportOptions no_unit;
  for (Format format : {Format::kPronto, Format::kRaw, Format::kLirc, Format::kBroadlink}) {
    const Outcome<std::string> text = WriteEntries(format, codes, no_unit);
    EXPECT_FALSE(text);
    EXPECT_EQ(text.reason(), NoUnitMessage());
  }
  EXPECT_EQ(WriteEntries(Format::kIrdbCsv, codes, {kNecUnit}).reason(), "IRDB CSV is import only");
  // A confident NEC1 needs no timings in Flipper's parsed form.
  EXPECT_TRUE(WriteEntries(Format::kFlipper, codes, no_unit));

  const ExportCode with_empty[] = {Code(12, "Gone", SignalBlock()), codes[0]};
  const Outcome<std::string> text = WriteEntries(Format::kRaw, with_empty, {kNecUnit});
  ASSERT_TRUE(text);
  EXPECT_EQ(text->substr(0, text->find('\n') + 1),
            "# 0012 Gone: not written: the block holds no signal\n");
  EXPECT_EQ(text->substr(text->find('\n') + 1, 12), "0001\tPower\tF");
}

TEST(Formats, NamesAreMadeSafeAndUnique) {
  const SignalBlock nec = FromHex(kNec1Block);
  const ExportCode codes[] = {Code(1, "TV Power", nec), Code(2, "TV Power", nec), Code(3, "", nec),
                              Code(4, "音量#1", nec)};
  const Outcome<std::string> flipper = WriteEntries(Format::kFlipper, codes, {});
  ASSERT_TRUE(flipper);
  std::vector<std::string> names;
  for (const ImportEntry& entry : ParseEntries(Format::kFlipper, *flipper)) {
    names.push_back(entry.name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"TV_Power", "TV_Power_2", "CODE_0003", "音量_1"}));
}

// Every block written in a timing format reads back, fitted with the same unit, as the same bits
// and timings within 1 count.
TEST(Formats, BlocksSurviveEveryTimingFormat) {
  struct Block {
    const char* what;
    const char* hex;
    double unit_ns;
  };
  const Block blocks[] = {
      {"NEC1 with a ditto frame", kNec1Block, kNecUnit},
      // D=1 F=21, T = 600 µs: Short 24, Long 48, leader 96/24, pauses 1008, pulse width.
      {"Sony12, 3 frames", "3018008060181883F00060181883F000601818A90A90A9000000000000", 25000},
      // Panasonic D=128 S=0 F=61 and a stop bit, T = 432 µs: Short 24, Long 72.
      {"Panasonic", "48180000C0626000000000000000000000000040040100BCBD00000000", 18000},
  };
  struct Target {
    Format format;
    bool decoded;  // false: written as a code of unknown protocol (raw entries, raw_codes)
  };
  const Target targets[] = {{Format::kPronto, true},    {Format::kRaw, true},
                            {Format::kBroadlink, true}, {Format::kLirc, true},
                            {Format::kLirc, false},     {Format::kFlipper, false}};
  for (const Block& b : blocks) {
    const SignalBlock block = FromHex(b.hex);
    for (const Target& target : targets) {
      SCOPED_TRACE(std::string(b.what) + " in " + std::string(FormatName(target.format)) +
                   (target.decoded ? "" : " as unknown"));
      ExportCode code = Code(7, "Key", block);
      if (!target.decoded) code.decoded = Decoded();
      const Outcome<std::string> text = WriteEntries(target.format, {&code, 1}, {b.unit_ns});
      ASSERT_TRUE(text) << text.reason();
      const std::vector<ImportEntry> entries = ParseEntries(target.format, *text);
      ASSERT_EQ(entries.size(), 1u) << *text;
      ASSERT_TRUE(entries[0].signal) << entries[0].error << "\n" << *text;
      const Outcome<SignalBlock> fitted = FitSignal(*entries[0].signal, b.unit_ns);
      ASSERT_TRUE(fitted) << fitted.reason() << "\n" << *text;
      const SignalBlock& got = *fitted;
      EXPECT_EQ(BitHex(got), BitHex(block)) << *text;
      EXPECT_EQ(got.WidthCoding(), block.WidthCoding());
      EXPECT_NEAR(got.LongTime(), block.LongTime(), 1);
      EXPECT_NEAR(got.ShortTime(), block.ShortTime(), 1);
      EXPECT_NEAR(got.AltTime() ? got.AltTime() : got.ShortTime(),
                  block.AltTime() ? block.AltTime() : block.ShortTime(), 1);
      EXPECT_EQ(got.HasFrame2(), block.HasFrame2());
      EXPECT_EQ(got.HasFrame3(), block.HasFrame3());
      EXPECT_NEAR(got.Gap1(), block.Gap1(), 1);
      EXPECT_NEAR(got.Gap2(), block.Gap2(), 1);
      for (int f = 1; f <= 3; ++f) {
        EXPECT_EQ(got.BitCount(f), block.BitCount(f)) << "frame " << f;
        EXPECT_NEAR(got.LeaderMark(f), block.LeaderMark(f), 1) << "frame " << f;
        EXPECT_NEAR(got.LeaderSpace(f), block.LeaderSpace(f), 1) << "frame " << f;
      }
    }
  }
}

TEST(Formats, FlipperParsedEntriesEncodeToTheSameBits) {
  const SignalBlock block = FromHex(kNec1Block);
  const ExportCode code = Code(1, "POWER", block);
  const Outcome<std::string> text = WriteEntries(Format::kFlipper, {&code, 1}, {});
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, kFlipperNec1);
  const std::vector<ImportEntry> entries = ParseEntries(Format::kFlipper, *text);
  ASSERT_EQ(entries.size(), 1u);
  ASSERT_TRUE(entries[0].request);
  const Outcome<SignalBlock> encoded = Encode(*entries[0].request, {kNecUnit});
  ASSERT_TRUE(encoded) << encoded.reason();
  EXPECT_EQ(BitHex(*encoded), BitHex(block));
}

}  // namespace
}  // namespace kavro::codec

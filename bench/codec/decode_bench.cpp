// Times decoding every code of a data file of 10,000 records against reading the same records
// without decoding (the section read, the data word and its hex conversion), both measured in
// the same run. The records are a mix of common protocols and codes no protocol fits. Usage:
// codec_decode_bench [folder], by default /tmp.
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/plain_file_baseline.h"
#include "codec/decode.h"
#include "codec/encode.h"
#include "datafile/hex_text.h"
#include "datafile/records.h"
#include "datafile/store.h"

namespace {

using bench::g_sink;
using kavro::SignalBlock;

constexpr int kRecords = 10000;
constexpr int kRuns = 21;

// One code of every tenth record's kind: the share of each protocol in a typical library.
SignalBlock CodeFor(int record) {
  using kavro::codec::Encode;
  const int f = record % 100 + 1;
  const auto encode = [](const char* protocol, int d, int s, int fn, double unit) {
    return Encode({protocol, d, s, fn}, {unit}).value();
  };
  switch (record % 10) {
    case 0:
    case 1:
    case 2: return encode("NEC1", 4, -1, f, 17600);
    case 3: return encode("NECx2", 7, 7, f, 17600);
    case 4: return encode("Sony12", 1, -1, f, 15000);
    case 5: return encode("Panasonic", 128, 0, f, 16000);
    case 6: return encode("Sharp", 1, -1, f, 10000);
    case 7: return encode("RCA", 10, -1, f, 15000);
    default: {
      // Learned codes of no known protocol: bit pieces 7:1, the bits varying.
      std::vector<unsigned char> bytes{210, 30, 0, 0x02, 0x00, 0x43, 0x00};
      bytes.resize(kavro::kSignalBlockSize);
      for (int i = 19; i < 24; ++i) bytes[i] = static_cast<unsigned char>(record * 7 + i);
      return SignalBlock(bytes);
    }
  }
}

std::string MakeDataFile() {
  std::string content = "\r\n[COMMON]\r\nCOM=1\r\n\r\n[Data]\r\n";
  char key[16];
  for (int record = 0; record < kRecords; ++record) {
    std::snprintf(key, sizeof key, "%04d=", record);
    content += key + kavro::BytesToHexText(CodeFor(record).bytes()) + " code " +
               std::to_string(record) + "\r\n";
  }
  return content;
}

// Every record's block, read the way the program reads the section; `decode` also decodes it.
void ReadRecords(const std::string& file, bool decode) {
  std::string buffer = "start";
  std::vector<unsigned char> bytes;
  while (kavro::ReadSectionLine(file, "Data", buffer) == 0) {
    if (const auto parts = kavro::SplitRecordEntry(buffer)) {
      kavro::HexTextToBytes(parts->data, bytes);
      const SignalBlock block(bytes);
      g_sink += block.bytes()[19];
      if (decode) g_sink += kavro::codec::Decode(block).protocol.size();
    }
    buffer = "next";
  }
  buffer = "end";
  kavro::ReadSectionLine(file, "Data", buffer);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : "/tmp";
  std::string templ = folder + "/kavro-bench-XXXXXX";
  if (mkdtemp(templ.data()) == nullptr) {
    std::printf("%s: cannot make a folder there\n", folder.c_str());
    return 1;
  }
  const std::string file = templ + "/Kavro.dat";
  std::ofstream(file, std::ios::binary) << MakeDataFile();

  std::vector<SignalBlock> blocks;
  for (int record = 0; record < kRecords; ++record) blocks.push_back(CodeFor(record));
  int known = 0;
  for (const SignalBlock& block : blocks) known += kavro::codec::Decode(block).Known();

  const double read = bench::MedianMs(kRuns, nullptr, [&] { ReadRecords(file, false); });
  const double read_decode = bench::MedianMs(kRuns, nullptr, [&] { ReadRecords(file, true); });
  const double decode_only = bench::MedianMs(kRuns, nullptr, [&] {
    for (const SignalBlock& block : blocks) g_sink += kavro::codec::Decode(block).protocol.size();
  });

  std::printf("%s: %d records (%d of a known protocol), median of %d runs\n", folder.c_str(),
              kRecords, known, kRuns);
  std::printf("  read every record (section, data word, hex)  %8.3f ms\n", read);
  std::printf("  read and decode every record                 %8.3f ms  %5.2fx read\n", read_decode,
              read_decode / read);
  std::printf("  decode alone (blocks in memory)              %8.3f ms  %5.2f us a code\n",
              decode_only, decode_only * 1000 / kRecords);
  std::filesystem::remove_all(templ);
  return g_sink == 0;
}

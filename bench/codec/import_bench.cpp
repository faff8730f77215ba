// Times an import of a 10,000-line IRDB-style CSV into a data file (read, parse, encode, number,
// one store write: what `kavro-cli import` does) against a plain read of the same CSV plus one
// store write of the same records, measured in the same run. Usage: codec_import_bench [folder];
// by default /tmp.
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bench/plain_file_baseline.h"
#include "codec/import.h"
#include "codec/signal_settings.h"
#include "datafile/atomic_file.h"
#include "datafile/hex_text.h"
#include "datafile/layout.h"
#include "datafile/records.h"
#include "datafile/store.h"

namespace {

constexpr int kRows = 10000;
constexpr int kRuns = 11;
// The aim: the import costs at most this many times the plain read and write.
constexpr double kAim = 3.0;

const char* const kProtocols[] = {"NEC1", "NEC1", "NEC1", "Panasonic", "Sony12", "RCA"};

std::string MakeCsv() {
  std::string csv = "functionname,protocol,device,subdevice,function\n";
  char row[96];
  for (int i = 0; i < kRows; ++i) {
    const std::string protocol = kProtocols[i % std::size(kProtocols)];
    // Device 0 would give NEC1 a first data byte of 0, which a block cannot hold.
    const int device = 1 + (protocol == "Sony12" ? i % 31 : i % 15);
    const int subdevice = protocol == "Panasonic" ? 0 : -1;
    std::snprintf(row, sizeof row, "KEY_%d,%s,%d,%d,%d\n", i, protocol.c_str(), device, subdevice,
                  protocol == "Sony12" ? i % 128 : i % 256);
    csv += row;
  }
  return csv;
}

const std::string kDataFile =
    "\r\n[COMMON]\r\nCOM=1\r\n\r\n[Signal]\r\nUnitNs=17625\r\n\r\n[Data]\r\n";

// The import as the command does it, without the printing.
void Import(const std::string& csv_path, const std::string& data_file) {
  std::string content;
  kavro::ReadWholeFile(csv_path, content);
  const auto format = kavro::codec::DetectFormat(content);
  const auto settings = kavro::codec::ReadSignalSettings(data_file);
  const auto made = kavro::codec::ConvertEntries(
      kavro::codec::ParseEntries(format.value_or(kavro::codec::Format::kIrdbCsv), content),
      settings.unit_ns, {});
  const std::vector<int> numbers = kavro::codec::FreeNumbers(made, {}, kavro::kLibraryFirstCode);
  std::vector<kavro::KeyValue> records;
  for (std::size_t i = 0; i < made.size(); ++i) {
    if (!made[i].block) continue;
    records.push_back({kavro::RecordKey(numbers[i]),
                       kavro::RecordValue(kavro::BytesToHexText(made[i].block->bytes()),
                                          made[i].name.substr(0, kavro::kCommentSlot))});
  }
  bench::g_sink += records.size();
  kavro::AddKeyValues(data_file, kavro::kDataSection, records);
}

// The baseline: the CSV read line by line and split at its commas, and one store write of records
// of the same size.
void PlainReadAndWrite(const std::string& csv_path, const std::string& data_file,
                       const std::vector<kavro::KeyValue>& records) {
  std::ifstream in(csv_path);
  std::string line;
  std::vector<std::string> fields;
  while (std::getline(in, line)) {
    fields.clear();
    std::stringstream split(line);
    for (std::string field; std::getline(split, field, ',');) fields.push_back(field);
    bench::g_sink += fields.size();
  }
  kavro::AddKeyValues(data_file, kavro::kDataSection, records);
}

}  // namespace

int main(int argc, char** argv) {
  std::string templ = std::string(argc > 1 ? argv[1] : "/tmp") + "/kavro-import-bench-XXXXXX";
  if (mkdtemp(templ.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::string folder = templ;
  const std::string csv_path = folder + "/codes.csv";
  const std::string data_file = folder + "/kavro.dat";
  std::ofstream(csv_path, std::ios::binary) << MakeCsv();
  auto fresh = [&] { std::ofstream(data_file, std::ios::binary) << kDataFile; };

  // The records the import makes, for the baseline's write.
  fresh();
  Import(csv_path, data_file);
  std::vector<kavro::KeyValue> records;
  std::string line = "start";
  while (kavro::ReadSectionLine(data_file, kavro::kDataSection, line) == 0) {
    records.push_back({line.substr(0, 4), line.substr(5)});
    line = "next";
  }
  line = "end";
  kavro::ReadSectionLine(data_file, kavro::kDataSection, line);

  const double import_ms = bench::MedianMs(kRuns, fresh, [&] { Import(csv_path, data_file); });
  const double plain_ms =
      bench::MedianMs(kRuns, fresh, [&] { PlainReadAndWrite(csv_path, data_file, records); });
  std::printf("import of %d CSV rows (%zu stored), medians of %d runs in %s\n", kRows,
              records.size(), kRuns, folder.c_str());
  std::printf("  plain CSV read + one store write   %8.2f ms\n", plain_ms);
  std::printf("  import                             %8.2f ms  %5.2fx  (aim at most %.0fx: %s)\n",
              import_ms, import_ms / plain_ms, kAim,
              import_ms / plain_ms <= kAim ? "met" : "MISSED");
  std::filesystem::remove_all(folder);
  return 0;
}

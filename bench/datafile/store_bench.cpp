// Times the data file store on a file of 10,000 records against plain stream reads and copies
// of the same file, measured in the same run. Usage: datafile_store_bench [folder...]; by
// default a folder on disk (/tmp) and one in memory (/dev/shm, where flushing costs nothing).
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench/plain_file_baseline.h"
#include "datafile/store.h"

namespace {

using bench::Flush;
using bench::g_sink;
using bench::PlainCopy;
using bench::PlainRead;

constexpr int kRecords = 10000;
constexpr int kRuns = 31;

double MedianMs(const std::function<void()>& run) { return bench::MedianMs(kRuns, nullptr, run); }

std::string MakeDataFile() {
  std::string content =
      "\r\n[COMMON]\r\nCOM=1\r\nPAGE=1\r\nPAGE2=0\r\nTV_VTR=0\r\nListFontName=\x82\x6c\x82\x72 "
      "\x83\x53\x83\x56\x83\x62\x83\x4e\r\nListFontSize=9\r\n\r\n[Data]\r\n";
  char line[160];
  for (int code = 0; code < kRecords; ++code) {
    // 58 hex digits, then a Shift-JIS comment ("テレビ電源" and a number).
    std::snprintf(line, sizeof line,
                  "%04d=8A1F0740%02X8000000000000000000000000000000000000000000000%04X "
                  "\x83\x65\x83\x8c\x83\x72\x93\x64\x8c\xb9%d\r\n",
                  code, code % 256, code, code);
    content += line;
  }
  return content;
}

void Bench(const std::string& folder) {
  std::string templ = folder + "/kavro-bench-XXXXXX";
  if (mkdtemp(templ.data()) == nullptr) {
    std::printf("%s: cannot make a folder there\n", folder.c_str());
    return;
  }
  const std::string file = templ + "/Kavro.dat";
  const std::string copy = templ + "/copy.dat";
  const std::string content = MakeDataFile();
  std::ofstream(file, std::ios::binary) << content;

  const double read = MedianMs([&] { PlainRead(file); });
  const double section = MedianMs([&] {
    std::string buffer = "start";
    while (kavro::ReadSectionLine(file, "Data", buffer) == 0) {
      g_sink += buffer.size();
      buffer = "next";
    }
    buffer = "end";
    kavro::ReadSectionLine(file, "Data", buffer);
  });
  const double copy_ms = MedianMs([&] { PlainCopy(file, copy, Flush::kNone); });
  const double copy_sync = MedianMs([&] { PlainCopy(file, copy, Flush::kFile); });
  const double copy_safe = MedianMs([&] { PlainCopy(file, copy, Flush::kFileRenameFolder); });
  int round = 0;
  const double write = MedianMs([&] {
    kavro::WriteKeyValue(
        file, "Data", "5000",
        (++round % 2 ? "0000" : "FFFF") + std::string(54, '0') + " \x83\x65\x83\x8c\x83\x72");
  });

  std::printf("%s: %d records, %zu bytes, median of %d runs\n", folder.c_str(), kRecords,
              content.size(), kRuns);
  std::printf("  plain read (ifstream, getline)      %8.3f ms\n", read);
  std::printf("  ReadSectionLine, whole section      %8.3f ms  %5.2fx plain read\n", section,
              section / read);
  std::printf("  plain copy (ifstream to ofstream)   %8.3f ms\n", copy_ms);
  std::printf("  plain copy, then fsync              %8.3f ms\n", copy_sync);
  std::printf("  plain copy, fsync, rename, fsync dir %7.3f ms\n", copy_safe);
  std::printf(
      "  WriteKeyValue, one record           %8.3f ms  %5.2fx plain read  %5.2fx plain copy\n",
      write, write / read, write / copy_ms);
  std::printf("  %52s %5.2fx copy with fsync  %5.2fx copy, fsync, rename, fsync dir\n", "",
              write / copy_sync, write / copy_safe);
  std::filesystem::remove_all(templ);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> folders(argv + 1, argv + argc);
  if (folders.empty()) {
    folders.push_back("/tmp");
    if (std::filesystem::is_directory("/dev/shm")) folders.push_back("/dev/shm");
  }
  for (const auto& folder : folders) Bench(folder);
  return g_sink == 0;  // never 0 bytes: the baselines read the file
}

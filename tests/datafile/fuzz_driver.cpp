// Runs the fuzz target without libFuzzer: every input of the corpus folders named on the
// command line, then deterministic variations of them. Used by builds without clang's fuzzer.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

using Bytes = std::vector<uint8_t>;

void Run(const Bytes& input) { LLVMFuzzerTestOneInput(input.data(), input.size()); }

// Bytes that matter to the file syntax are picked more often than others.
uint8_t SyntaxByte(std::mt19937& random) {
  static const char kBytes[] =
      "[]= \t\r\n;%\x1a\x81\x83\x9f\xe0\xfc"
      "aAzZ09";
  return static_cast<uint8_t>(kBytes[random() % (sizeof kBytes - 1)]);
}

Bytes Mutate(Bytes input, std::mt19937& random) {
  for (int edits = 1 + random() % 8; edits > 0; --edits) {
    size_t at = input.empty() ? 0 : random() % (input.size() + 1);
    switch (random() % 4) {
      case 0:
        if (at < input.size()) input[at] = SyntaxByte(random);
        break;
      case 1: input.insert(input.begin() + at, SyntaxByte(random)); break;
      case 2:
        if (at < input.size())
          input.erase(input.begin() + at,
                      input.begin() + std::min(input.size(), at + 1 + random() % 8));
        break;
      case 3:
        if (at < input.size()) input[at] = static_cast<uint8_t>(random());
        break;
    }
  }
  return input;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<Bytes> corpus;
  for (int i = 1; i < argc; ++i) {
    for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
      std::ifstream in(entry.path(), std::ios::binary);
      corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
  }
  for (const Bytes& input : corpus) Run(input);

  std::mt19937 random(1);
  int runs = static_cast<int>(corpus.size());
  for (int i = 0; i < 3000; ++i, ++runs) {
    if (corpus.empty() || i % 4 == 0) {
      Bytes input(random() % 300);
      for (uint8_t& byte : input)
        byte = random() % 2 ? SyntaxByte(random) : static_cast<uint8_t>(random());
      Run(input);
    } else {
      Run(Mutate(corpus[random() % corpus.size()], random));
    }
  }
  std::printf("%d inputs passed\n", runs);
  return 0;
}

#include "datafile/file_bytes.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

namespace kavro {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Below this a mapping of its own saves too little to be worth a system call.
constexpr std::size_t kOwnMappingFrom = std::size_t{256} << 10;

std::size_t RoundUp(std::size_t n, std::size_t unit) { return (n + unit - 1) / unit * unit; }

}  // namespace

FileBytes::FileBytes(std::size_t size) : size_(size) {
  if (size < kOwnMappingFrom) {
    small_.resize(size);
    return;
  }
  // Huge pages must start on a huge page: map one more than needed and give back the ends.
  const std::size_t length = RoundUp(size, kHugePage);
  void* raw =
      mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  char* const start = static_cast<char*>(raw);
  char* const aligned =
      reinterpret_cast<char*>(RoundUp(reinterpret_cast<std::uintptr_t>(start), kHugePage));
  if (aligned > start) munmap(start, static_cast<std::size_t>(aligned - start));
  const std::size_t tail = static_cast<std::size_t>(start + length + kHugePage - aligned) - length;
  if (tail > 0) munmap(aligned + length, tail);
#ifdef MADV_HUGEPAGE
  if (!getenv("NOHUGE")) madvise(aligned, length, MADV_HUGEPAGE);  // a refusal leaves ordinary pages
#endif
  mapped_ = aligned;
  mapped_length_ = length;
}

FileBytes::~FileBytes() { Release(); }

FileBytes::FileBytes(FileBytes&& other) noexcept
    : small_(std::move(other.small_)),
      mapped_(std::exchange(other.mapped_, nullptr)),
      mapped_length_(std::exchange(other.mapped_length_, 0)),
      size_(std::exchange(other.size_, 0)) {}

FileBytes& FileBytes::operator=(FileBytes&& other) noexcept {
  if (this != &other) {
    Release();
    small_ = std::move(other.small_);
    mapped_ = std::exchange(other.mapped_, nullptr);
    mapped_length_ = std::exchange(other.mapped_length_, 0);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

void FileBytes::Shrink(std::size_t size) {
  if (size >= size_) return;
  size_ = size;
  if (mapped_ == nullptr) small_.resize(size);
}

void FileBytes::Release() {
  if (mapped_ != nullptr) munmap(mapped_, mapped_length_);
  mapped_ = nullptr;
  mapped_length_ = 0;
  std::string().swap(small_);
  size_ = 0;
}

}  // namespace kavro

#include "runtime/body_buffer.h"

#include <stdlib.h>
#include <string.h>

#include <utility>

#include "runtime/large_blocks.h"

namespace tulora::net {

using rt::kLargeBlockFrom;

BodyBuffer::BodyBuffer(BodyBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)),
      large_(std::exchange(other.large_, false)) {}

BodyBuffer& BodyBuffer::operator=(BodyBuffer&& other) noexcept {
  if (this != &other) {
    Free();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
    large_ = std::exchange(other.large_, false);
  }
  return *this;
}

void BodyBuffer::Free() {
  if (large_) {
    rt::ReleaseLargeBlock(data_);
  } else {
    free(data_);
  }
  data_ = nullptr;
  size_ = capacity_ = 0;
  large_ = false;
}

bool BodyBuffer::Reserve(size_t capacity) {
  if (capacity <= capacity_) return true;
  char* grown = nullptr;
  if (large_) {
    grown = static_cast<char*>(rt::ResizeLargeBlock(data_, capacity));
  } else if (capacity >= kLargeBlockFrom) {
    grown = static_cast<char*>(rt::AllocateLargeBlock(capacity));
    if (grown != nullptr && size_ > 0) memcpy(grown, data_, size_);
    if (grown != nullptr) free(data_);
  } else {
    grown = static_cast<char*>(realloc(data_, capacity));
  }
  if (grown == nullptr) return false;
  large_ = large_ || capacity >= kLargeBlockFrom;
  data_ = grown;
  capacity_ = capacity;
  return true;
}

bool BodyBuffer::Append(const char* data, size_t size) {
  if (size == 0) return true;
  if (size > capacity_ - size_) {
    size_t wanted = capacity_ < (16u << 10) ? (16u << 10) : capacity_ * 2;
    if (wanted - size_ < size) wanted = size_ + size;
    if (wanted < size_ || !Reserve(wanted)) return false;
  }
  memcpy(data_ + size_, data, size);
  size_ += size;
  return true;
}

}  // namespace tulora::net

#include "runtime/linux_winapi/body_buffer.h"

#include <string.h>

#include <utility>

#include "runtime/memory/heap.h"

namespace tulora::net {

BodyBuffer::BodyBuffer(BodyBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

BodyBuffer& BodyBuffer::operator=(BodyBuffer&& other) noexcept {
  if (this != &other) {
    Free();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

void BodyBuffer::Free() {
  rt::ReleaseHeapBlock(data_);
  data_ = nullptr;
  size_ = capacity_ = 0;
}

bool BodyBuffer::Reserve(size_t capacity) {
  if (capacity <= capacity_) return true;
  auto* grown = static_cast<char*>(rt::ResizeHeapBlock(data_, capacity));
  if (grown == nullptr) return false;
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

// The body of a response as it arrives: one growing block that moves onto
// a large block (huge pages, runtime/memory/large_blocks.h) once it reaches
// kLargeBlockFrom, so that filling it costs a page fault per 2 MiB instead
// of one per 4 KiB.
#ifndef TULORA_RUNTIME_LINUX_WINAPI_BODY_BUFFER_H
#define TULORA_RUNTIME_LINUX_WINAPI_BODY_BUFFER_H

#include <stddef.h>

#include <string_view>

namespace tulora::net {

class BodyBuffer {
 public:
  BodyBuffer() = default;
  BodyBuffer(BodyBuffer&& other) noexcept;
  BodyBuffer& operator=(BodyBuffer&& other) noexcept;
  BodyBuffer(const BodyBuffer&) = delete;
  BodyBuffer& operator=(const BodyBuffer&) = delete;
  ~BodyBuffer() { Free(); }

  // Room for at least `capacity` bytes in all; false when memory ran out
  // (the bytes held stay).
  bool Reserve(size_t capacity);
  // False when memory ran out; nothing is appended then.
  bool Append(const char* data, size_t size);
  void Clear() { size_ = 0; }

  const char* data() const { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::string_view view() const {
    return data_ ? std::string_view(data_, size_) : std::string_view();
  }

 private:
  void Free();

  char* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

inline bool operator==(const BodyBuffer& body, std::string_view text) {
  return body.view() == text;
}

}  // namespace tulora::net

#endif  // TULORA_RUNTIME_LINUX_WINAPI_BODY_BUFFER_H

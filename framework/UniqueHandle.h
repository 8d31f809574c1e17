#pragma once
// The one owner of an OS handle. Traits give the handle type, its empty value and how to close
// it; a Traits::close must keep the thread's last-error value (GetLastError / errno) intact, so
// that an owner going out of scope on a failure path does not hide the failure's cause. Traits
// may carry what closing needs (the registry a key is closed through); most carry nothing.
#include <utility>

namespace fw {

template <typename Traits>
class UniqueHandle {
 public:
  using pointer = typename Traits::pointer;

  UniqueHandle() = default;
  explicit UniqueHandle(pointer handle, Traits traits = {}) : handle_(handle), traits_(traits) {}
  ~UniqueHandle() { reset(); }

  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()), traits_(other.traits_) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      reset(other.release());
      traits_ = other.traits_;
    }
    return *this;
  }

  pointer get() const { return handle_; }
  explicit operator bool() const { return handle_ != Traits::invalid(); }

  // Closes the held handle (if any) and takes `handle`.
  void reset(pointer handle = Traits::invalid()) {
    const pointer old = std::exchange(handle_, handle);
    if (old != Traits::invalid()) traits_.close(old);
  }

  // Gives up ownership without closing.
  pointer release() { return std::exchange(handle_, Traits::invalid()); }

 private:
  pointer handle_ = Traits::invalid();
  [[no_unique_address]] Traits traits_{};
};

}  // namespace fw

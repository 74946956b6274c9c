// Working memory of a reader or writer, taken from Allocate so that the
// allocation limit holds for it and a shortage is a null to test rather
// than an exception; released when it goes out of scope.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "imaging/core/page.h"

namespace quillon {

template <typename T>
class Scratch {
  static_assert(std::is_trivially_copyable_v<T>, "scratch holds plain values");

 public:
  Scratch() = default;
  // `count` zeroed elements; empty (and false) when they cannot be had.
  explicit Scratch(uint64_t count) : p_(AllocateArray<T>(count)), n_(p_ ? count : 0) {}
  ~Scratch() { Release(p_); }
  Scratch(Scratch&& other) noexcept : p_(other.p_), n_(other.n_) {
    other.p_ = nullptr;
    other.n_ = 0;
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  Scratch& operator=(Scratch&&) = delete;

  explicit operator bool() const { return p_ != nullptr; }
  T* data() const { return p_; }
  uint64_t size() const { return n_; }
  T& operator[](uint64_t i) const { return p_[i]; }
  // `count` zeroed elements in place of the old ones; false (and empty)
  // when they cannot be had.
  bool Reset(uint64_t count) {
    Release(p_);
    p_ = AllocateArray<T>(count);
    n_ = p_ ? count : 0;
    return p_ != nullptr;
  }
  // Keeps the first `count` elements (count <= size()).
  void Shrink(uint64_t count) { n_ = count < n_ ? count : n_; }

 private:
  T* p_ = nullptr;
  uint64_t n_ = 0;
};

// A list that grows as it is filled, in the same memory: its room doubles,
// and an append that cannot have more room says so.
template <typename T>
class ScratchList {
  static_assert(std::is_trivially_copyable_v<T>, "scratch holds plain values");

 public:
  ScratchList() = default;
  ~ScratchList() { Release(p_); }
  ScratchList(const ScratchList&) = delete;
  ScratchList& operator=(const ScratchList&) = delete;

  bool Push(const T& value) {
    if (n_ == room_) {
      const uint64_t room = room_ ? 2 * room_ : 64;
      T* bigger = AllocateArray<T>(room);
      if (!bigger) return false;
      if (n_) std::memcpy(bigger, p_, n_ * sizeof(T));
      Release(p_);
      p_ = bigger;
      room_ = room;
    }
    p_[n_++] = value;
    return true;
  }
  T* begin() const { return p_; }
  T* end() const { return p_ + n_; }
  uint64_t size() const { return n_; }
  T& operator[](uint64_t i) const { return p_[i]; }

 private:
  T* p_ = nullptr;
  uint64_t n_ = 0;
  uint64_t room_ = 0;
};

}  // namespace quillon

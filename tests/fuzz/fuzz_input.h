// fuzz_input.h — reads the decisions of a fuzz target from its input bytes.
//
// Every read takes the next bytes of the input; once the input is used up,
// every read answers zero (or the first choice, or an empty text), so that a
// target always runs to its end and its clean-up checks. The same input gives
// the same decisions on every run, in the fuzzer (clang) and in the corpus
// replay (GCC), as long as targets read in sequenced statements: never two
// reads among the arguments of one call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>

namespace fuzzing {

class FuzzInput {
 public:
  FuzzInput(const uint8_t *data, size_t size) : Data_(data), Size_(size) {}

  bool Empty() const { return Pos_ >= Size_; }
  size_t Remaining() const { return Size_ - Pos_; }

  uint8_t Byte() { return Empty() ? 0 : Data_[Pos_++]; }
  bool Bool() { return (Byte() & 1) != 0; }
  // Little-endian. (Each read is its own statement: the operands of one
  // expression, and the arguments of one call, are read in an unspecified
  // order, which would differ between compilers.)
  uint16_t U16() {
    const uint16_t low = Byte();
    const uint16_t high = Byte();
    return static_cast<uint16_t>(low | (high << 8));
  }
  uint32_t U32() {
    const uint32_t low = U16();
    const uint32_t high = U16();
    return low | (high << 16);
  }
  uint64_t U64() {
    const uint64_t low = U32();
    const uint64_t high = U32();
    return low | (high << 32);
  }
  // A value in [0, count); 0 when count is 0.
  uint32_t Below(uint32_t count) { return count == 0 ? 0 : Byte() % count; }
  // Any bit pattern: NaN, infinities and subnormals included.
  float RawFloat() {
    const uint32_t bits = U32();
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  double RawDouble() {
    const uint64_t bits = U64();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }

  template <class T>
  T Pick(std::initializer_list<T> choices) {
    return *(choices.begin() + Below(static_cast<uint32_t>(choices.size())));
  }

  // Up to `most` bytes (the count is read first).
  std::string Bytes(size_t most) {
    size_t count = Byte();
    if (count > most) count = most;
    if (count > Remaining()) count = Remaining();
    std::string out(reinterpret_cast<const char *>(Data_ + Pos_), count);
    Pos_ += count;
    return out;
  }
  // Every byte not read yet.
  std::string Rest() {
    std::string out(reinterpret_cast<const char *>(Data_ + Pos_), Remaining());
    Pos_ = Size_;
    return out;
  }

  // Up to `most` UTF-16 units, each either one of `alphabet` (most of the
  // time, so that names share structure) or any 16-bit unit (lone
  // surrogates and NUL included).
  std::u16string Text(size_t most, std::u16string_view alphabet) {
    size_t count = Byte() % (most + 1);
    std::u16string out;
    for (size_t i = 0; i < count && !Empty(); ++i) {
      const uint8_t choice = Byte();
      if (choice < 0xF0 || alphabet.empty())
        out.push_back(alphabet.empty() ? static_cast<char16_t>(U16()) : alphabet[choice % alphabet.size()]);
      else
        out.push_back(static_cast<char16_t>(U16()));
    }
    return out;
  }

 private:
  const uint8_t *Data_;
  size_t Size_;
  size_t Pos_ = 0;
};

// Stops the process when a property of a target does not hold: the fuzzer
// records the input as a crash, the corpus replay fails.
[[noreturn]] void PropertyFailed(const char *what, const char *file, int line);

}  // namespace fuzzing

#define FUZZ_CHECK(condition)                                                   \
  do {                                                                          \
    if (!(condition)) ::fuzzing::PropertyFailed(#condition, __FILE__, __LINE__); \
  } while (0)

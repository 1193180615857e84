#pragma once
// Text field of a fixed width. The protocol and state fields were char arrays
// of a set size; keeping the width here means no writer can overflow or grow
// a field by accident: whatever enters is cut at the width (and at a NUL, as
// a C string copy would stop there).

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

namespace lumivex {

template <std::size_t Width>
class FixedText {
  static_assert(Width >= 1, "a field holds at least its terminator");

 public:
  // Width counts the terminator of the original array, so one byte less fits.
  static constexpr std::size_t kMaxLength = Width - 1;

  FixedText() = default;
  FixedText(std::string_view text) { Assign(text); }  // NOLINT: implicit on purpose
  FixedText(const char* text) { Assign(text); }      // NOLINT
  FixedText(const std::string& text) { Assign(text); }  // NOLINT

  FixedText& operator=(std::string_view text) {
    Assign(text);
    return *this;
  }
  FixedText& operator=(const char* text) { return *this = std::string_view(text); }
  FixedText& operator=(const std::string& text) { return *this = std::string_view(text); }

  // Returns false when the text had to be cut.
  bool Assign(std::string_view text) {
    std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    bool fits = text.size() <= kMaxLength;
    value_.assign(text.substr(0, kMaxLength));
    return fits;
  }

  const std::string& str() const { return value_; }
  const char* c_str() const { return value_.c_str(); }
  std::size_t size() const { return value_.size(); }
  bool empty() const { return value_.empty(); }
  void clear() { value_.clear(); }
  operator std::string_view() const { return value_; }  // NOLINT

  friend bool operator==(const FixedText& a, std::string_view b) { return a.value_ == b; }
  friend std::ostream& operator<<(std::ostream& out, const FixedText& t) { return out << t.value_; }

 private:
  std::string value_;
};

}  // namespace lumivex

// An independent model of the number grammar, for the fuzzer to compare the tool with.
// It decides by the shape of the text and compares digit strings as arbitrary-precision
// numbers, where the tool accumulates values digit by digit.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vmtally::model {

inline bool IsDecimalDigit(char c) {
  return c >= '0' && c <= '9';
}
inline bool IsHexDigit(char c) {
  return IsDecimalDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Digits less their leading zeros ("" for zero).
inline std::string_view Significant(std::string_view digits) {
  while (!digits.empty() && digits.front() == '0') {
    digits.remove_prefix(1);
  }
  return digits;
}

// a <= b for two decimal numbers without leading zeros, compared as numbers.
inline bool NotAbove(std::string_view a, std::string_view b) {
  return a.size() != b.size() ? a.size() < b.size() : a <= b;
}

inline std::optional<std::int32_t> ParseInteger(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && text[at] == ' ') {
    ++at;
  }
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    negative = text[at] == '-';
    ++at;
  }
  const std::string_view rest = text.substr(at);
  const bool hex = rest.starts_with('$') || rest.starts_with('x') || rest.starts_with('X') ||
                   rest.starts_with("0x") || rest.starts_with("0X");
  const std::string_view digits = hex ? rest.substr(rest.starts_with('0') ? 2 : 1) : rest;
  if (digits.empty()) {
    return std::nullopt;
  }
  for (char c : digits) {
    if (!(hex ? IsHexDigit(c) : IsDecimalDigit(c))) {
      return std::nullopt;
    }
  }
  const std::string_view significant = Significant(digits);
  if (hex) {
    if (significant.size() > 8) {
      return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : significant) {
      value = value * 16 +
              static_cast<std::uint64_t>(IsDecimalDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10);
    }
    const std::uint64_t pattern = negative ? (0x100000000ull - value) % 0x100000000ull : value;
    return static_cast<std::int32_t>(pattern >= 0x80000000ull
                                         ? static_cast<std::int64_t>(pattern) - 0x100000000ll
                                         : static_cast<std::int64_t>(pattern));
  }
  if (!NotAbove(significant, negative ? "2147483648" : "2147483647")) {
    return std::nullopt;
  }
  std::int64_t value = 0;
  for (char c : significant) {
    value = value * 10 + (c - '0');
  }
  return static_cast<std::int32_t>(negative ? -value : value);
}

}  // namespace vmtally::model

// Text that both platform layers and the survey handle alike: the end of a system
// message, and the end of a line.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

namespace vmtally {

// Every line the tool writes ends in CR LF, on Linux too.
inline constexpr std::string_view kLineEnd = "\r\n";

// System message texts end in line breaks and full stops, which neither the report of a
// failed open nor the Windows layer's diagnostic prints: text without the control
// characters, blanks and full stops at its end. Those inside it stay.
constexpr std::string_view TrimMessageEnd(std::string_view text) {
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= 0x20 || text.back() == '.')) {
    text.remove_suffix(1);
  }
  return text;
}

// The text and its line end, copied into buffer so that the line goes out in one write
// and nothing is allocated for it; empty when they do not fit, and then the text goes
// out first and the line end after it.
template <std::size_t size>
std::string_view WithLineEnd(std::string_view text, std::array<char, size>& buffer) {
  if (text.size() > size - kLineEnd.size()) {
    return {};
  }
  std::copy(kLineEnd.begin(), kLineEnd.end(), std::copy(text.begin(), text.end(), buffer.begin()));
  return {buffer.data(), text.size() + kLineEnd.size()};
}

}  // namespace vmtally

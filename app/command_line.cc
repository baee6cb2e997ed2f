#include "app/command_line.h"

#include <algorithm>
#include <utility>

namespace vmtally {
namespace {

bool IsSeparator(char c) {
  const auto code = static_cast<unsigned char>(c);
  return code >= 1 && code <= 32;
}

// Reads one token from text at position, moving position past it. An empty token means
// the text has nothing more to give.
std::string NextToken(std::string_view text, std::size_t& position) {
  while (position < text.size()) {
    if (IsSeparator(text[position])) {
      ++position;
    } else if (text.substr(position, 2) == "\"\"") {
      position += 2;
    } else {
      break;
    }
  }
  std::string token;
  bool quoted = false;
  for (; position < text.size(); ++position) {
    const char c = text[position];
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && IsSeparator(c)) {
      break;
    } else {
      token += c;
    }
  }
  return token;
}

std::int32_t HexDigit(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

std::optional<std::uint32_t> ParseHexDigits(std::string_view digits) {
  if (digits.empty()) {
    return std::nullopt;
  }
  std::uint32_t value = 0;
  for (const char c : digits) {
    const std::int32_t digit = HexDigit(c);
    if (digit < 0 || value > 0x0FFFFFFFu) {
      return std::nullopt;
    }
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  return value;
}

std::optional<std::int64_t> ParseDecimalDigits(std::string_view digits) {
  if (digits.empty()) {
    return std::nullopt;
  }
  std::int64_t magnitude = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9' || magnitude > 214748364) {
      return std::nullopt;
    }
    magnitude = magnitude * 10 + (c - '0');
  }
  return magnitude;
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
  commandLine = commandLine.substr(0, commandLine.find('\0'));
  std::size_t position = 0;
  std::vector<std::string> arguments;
  if (NextToken(commandLine, position).empty()) {
    return arguments;
  }
  for (std::string token = NextToken(commandLine, position); !token.empty();
       token = NextToken(commandLine, position)) {
    arguments.push_back(std::move(token));
  }
  return arguments;
}

std::optional<std::int32_t> ParseInteger(std::string_view text) {
  text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }

  std::size_t hexPrefix = 0;
  if (!text.empty() && (text[0] == '$' || text[0] == 'x' || text[0] == 'X')) {
    hexPrefix = 1;
  } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    hexPrefix = 2;
  }

  if (hexPrefix != 0) {
    const std::optional<std::uint32_t> pattern = ParseHexDigits(text.substr(hexPrefix));
    if (!pattern) {
      return std::nullopt;
    }
    // A minus negates the 32-bit pattern modulo 2^32.
    return static_cast<std::int32_t>(negative ? 0u - *pattern : *pattern);
  }

  const std::optional<std::int64_t> magnitude = ParseDecimalDigits(text);
  if (!magnitude || *magnitude > (negative ? 2147483648 : 2147483647)) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(negative ? -*magnitude : *magnitude);
}

}  // namespace vmtally

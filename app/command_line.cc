#include "app/command_line.h"

#include <algorithm>
#include <cstdint>

namespace vmtally {
namespace {

bool IsSeparator(char c) {
  const auto code = static_cast<unsigned char>(c);
  return code >= 1 && code <= 32;
}

// The arguments of a command line one by one, each as it stands in the text, quotes and
// all: nothing is copied until an argument's text is wanted.
struct ArgumentScan {
  std::string_view text;
  std::size_t position = 0;
};

// The next token from the scan's position on, which moves past it. A token that is
// nothing but quotes (only a lone quote at the end can be) is an empty argument.
std::string_view NextToken(ArgumentScan& scan) {
  const std::string_view text = scan.text;
  std::size_t& position = scan.position;
  while (position < text.size()) {
    if (IsSeparator(text[position])) {
      ++position;
    } else if (text.substr(position, 2) == "\"\"") {
      position += 2;
    } else {
      break;
    }
  }
  const std::size_t start = position;
  bool quoted = false;
  for (; position < text.size(); ++position) {
    if (text[position] == '"') {
      quoted = !quoted;
    } else if (!quoted && IsSeparator(text[position])) {
      break;
    }
  }
  return text.substr(start, position - start);
}

bool IsEmptyArgument(std::string_view token) {
  return token.find_first_not_of('"') == std::string_view::npos;
}

// A scan of the arguments after the program path.
ArgumentScan ScanArguments(std::string_view commandLine) {
  ArgumentScan scan{commandLine.substr(0, commandLine.find('\0'))};
  if (IsEmptyArgument(NextToken(scan))) {
    scan.position = scan.text.size();  // no program path, so no arguments either
  }
  return scan;
}

// The next argument as it stands in the text; false after the last.
bool NextArgument(ArgumentScan& scan, std::string_view& token) {
  token = NextToken(scan);
  return !IsEmptyArgument(token);
}

std::string WithoutQuotes(std::string_view token) {
  std::string text;
  text.reserve(token.size());
  for (const char c : token) {
    if (c != '"') {
      text += c;
    }
  }
  return text;
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

// A 32-bit value that is above this one has no room for another hexadecimal digit.
constexpr std::uint32_t kLargestBeforeHexDigit = UINT32_MAX / 16;

// Decimal numbers are read as a magnitude, the largest that of -2147483648; one above
// a tenth of that has no room for another digit.
constexpr std::int64_t kLargestMagnitude = std::int64_t{INT32_MAX} + 1;
constexpr std::int64_t kLargestBeforeDecimalDigit = kLargestMagnitude / 10;

std::optional<std::uint32_t> ParseHexDigits(std::string_view digits) {
  if (digits.empty()) {
    return std::nullopt;
  }
  std::uint32_t value = 0;
  for (const char c : digits) {
    const std::int32_t digit = HexDigit(c);
    if (digit < 0 || value > kLargestBeforeHexDigit) {
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
    if (c < '0' || c > '9' || magnitude > kLargestBeforeDecimalDigit) {
      return std::nullopt;
    }
    magnitude = magnitude * 10 + (c - '0');
  }
  return magnitude;
}

}  // namespace

std::uint32_t CountArguments(std::string_view commandLine) {
  ArgumentScan scan = ScanArguments(commandLine);
  std::uint32_t count = 0;
  for (std::string_view token; NextArgument(scan, token);) {
    ++count;
  }
  return count;
}

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
  ArgumentScan scan = ScanArguments(commandLine);
  std::vector<std::string> arguments;
  for (std::string_view token; NextArgument(scan, token);) {
    arguments.push_back(WithoutQuotes(token));
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
  if (!magnitude || *magnitude > (negative ? kLargestMagnitude : INT32_MAX)) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(negative ? -*magnitude : *magnitude);
}

}  // namespace vmtally

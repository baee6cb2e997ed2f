// An independent model of the command-line splitter, for the fuzzer to compare the tool
// with: a state machine over character classes, driven by a transition table.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vmtally::model {

enum Class { kEnd, kSeparator, kQuote, kOther };
enum State { kBetween, kInArgument, kInQuotes };
enum Action { kNothing, kKeep, kFinish };

struct Transition {
  State next;
  Action action;
};

// What each class does in each state once an argument has started.
constexpr Transition kTable[3][4] = {
    /* kBetween: not used once started */ {},
    /* kInArgument */
    {{kBetween, kFinish}, {kBetween, kFinish}, {kInQuotes, kNothing}, {kInArgument, kKeep}},
    /* kInQuotes */
    {{kBetween, kFinish}, {kInQuotes, kKeep}, {kInArgument, kNothing}, {kInQuotes, kKeep}},
};

inline Class ClassOf(std::string_view text, std::size_t at) {
  if (at >= text.size() || text[at] == '\0') {
    return kEnd;
  }
  const auto code = static_cast<unsigned char>(text[at]);
  if (code <= 32) {
    return kSeparator;
  }
  return text[at] == '"' ? kQuote : kOther;
}

inline std::vector<std::string> SplitCommandLine(std::string_view text) {
  std::vector<std::string> tokens;
  std::size_t at = 0;
  for (;;) {
    // Between arguments: separators go, and so do pairs of quotes.
    for (;;) {
      const Class c = ClassOf(text, at);
      if (c == kSeparator) {
        at += 1;
      } else if (c == kQuote && ClassOf(text, at + 1) == kQuote) {
        at += 2;
      } else {
        break;
      }
    }
    std::string token;
    State state = kInArgument;
    while (state != kBetween) {
      const Class c = ClassOf(text, at);
      const Transition t = kTable[state][c];
      if (t.action == kKeep) {
        token += text[at];
      }
      if (c != kEnd) {
        ++at;
      }
      state = t.next;
    }
    if (token.empty()) {
      break;
    }
    tokens.push_back(token);
  }
  if (!tokens.empty()) {
    tokens.erase(tokens.begin());  // the program path
  }
  return tokens;
}

}  // namespace vmtally::model

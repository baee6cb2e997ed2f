// Feeds arbitrary text to ParseInteger and to an independent model of the number grammar;
// any difference in acceptance or value is a failure.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "app/command_line.h"
#include "parse_integer_model.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto got = vmtally::ParseInteger(text);
  const auto want = vmtally::model::ParseInteger(text);
  if (got != want) {
    std::fprintf(stderr, "ParseInteger(\"%.*s\"): tool %s %d, model %s %d\n",
                 static_cast<int>(size), text.data(), got ? "accepts" : "rejects", got.value_or(0),
                 want ? "accepts" : "rejects", want.value_or(0));
    std::abort();
  }
  return 0;
}

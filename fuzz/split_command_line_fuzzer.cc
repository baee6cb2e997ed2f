// Feeds arbitrary command-line texts to SplitCommandLine and CountArguments and to an
// independent state machine model of the splitting rules; any difference in the
// arguments or their count is a failure.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "app/command_line.h"
#include "split_command_line_model.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto got = vmtally::SplitCommandLine(text);
  const auto want = vmtally::model::SplitCommandLine(text);
  const std::uint32_t count = vmtally::CountArguments(text);
  if (got != want || count != want.size()) {
    std::fprintf(stderr, "SplitCommandLine: tool gives %zu arguments (counted %u), model %zu\n",
                 got.size(), count, want.size());
    for (std::size_t i = 0; i < got.size() || i < want.size(); ++i) {
      std::fprintf(stderr, "  %zu: tool [%s] model [%s]\n", i,
                   i < got.size() ? got[i].c_str() : "-", i < want.size() ? want[i].c_str() : "-");
    }
    std::abort();
  }
  return 0;
}

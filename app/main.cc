#include "app/entry.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments = vmtally::StartProgram(argc, argv);
  vmtally::ExitProcess(vmtally::RunTool(arguments));
}

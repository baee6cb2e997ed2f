#include "app/entry.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  vmtally::StartProgram(argc, argv);
  vmtally::ExitProcess(vmtally::RunTool());
}

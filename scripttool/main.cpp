#include <exception>

#include "output/messages.h"
#include "platform/process.h"
#include "scripttool/script_tool.h"

int main(int argc, char** argv) {
  platform::CatchInterrupts();
  int status = 0;
  try {
    // The tool goes before the process ends, and stops its compilers.
    ScriptTool Shell;
    Shell.Run(argc, argv);
  } catch (const std::exception& error) {
    ReportError("%s\n", error.what());
    status = 1;
  }
  if (platform::Interrupted()) platform::ExitInterrupted();
  // 0 only when the run reported no error.
  return status != 0 || ErrorCount() > 0 ? 1 : 0;
}

#include <exception>

#include "output/messages.h"
#include "scripttool/script_tool.h"

int main(int argc, char** argv) {
  try {
    ScriptTool Shell;
    Shell.Run(argc, argv);
  } catch (const std::exception& error) {
    ReportError("%s\n", error.what());
    return 1;
  }
  // 0 only when the run reported no error.
  return ErrorCount() > 0 ? 1 : 0;
}

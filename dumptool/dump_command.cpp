#include "dump_command.h"

#include <string>
#include <vector>

#include "chunk_dump.h"
#include "input/chunk_file.h"
#include "input/chunk_file_error.h"

int RunDumpCommand(int argc, char** argv, FILE* out, FILE* err) {
  DumpOptions options;
  std::vector<std::string> paths;
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument == "-brief") {
      options.brief = true;
    } else if (!argument.empty() && argument[0] == '-') {
      std::fprintf(err, "Error: unknown option %s\n", argument.c_str());
      status = 1;
    } else {
      paths.push_back(argument);
    }
  }
  if (paths.empty()) {
    std::fprintf(status == 0 ? out : err,
                 "usage: tolscript-dump [-brief] FILE...\n"
                 "Prints the chunk tree of each binary (\"ucfb\") or text (\"ucft\") chunk file;\n"
                 "-brief leaves out the hex rows.\n");
    return status;
  }
  bool first = true;
  for (const std::string& path : paths) {
    try {
      std::string bytes = LoadChunkFile(path);
      DumpChunkFile(path, bytes, options, !first, out);
      first = false;
    } catch (const ChunkFileError& error) {
      std::fflush(out);
      std::fprintf(err, "Error: %s: %s\n", path.c_str(), error.what());
      std::fflush(err);
      status = 1;
    }
  }
  return status;
}

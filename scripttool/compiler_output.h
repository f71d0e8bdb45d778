// The file the compiler writes a script's compiled code to, in the
// current directory.
//
// Its name is made unique by reserving "luaXXXXXX" once per run: the
// compiler writes "luaXXXXXX.luac" beside it, a new file for every script,
// and the reservation is deleted when the run ends. After a conversion the
// compiled file is handed to the output, which is written over it (see
// ToolFile::OfferStorage), or it is deleted.
//
// The reservation is held locked and marked for the run. A run that was
// killed leaves its marked reservation unlocked, and the next run in the
// directory deletes it with its compiled file: when it reserves its own,
// and when it ends, so a run that compiles nothing deletes it too.
//
// So a script costs one new file, as the compiler alone does. Truncating
// and rewriting one file would make some file systems write each script
// to the disk at once; every file made and deleted makes later file
// creations slower on others.
#pragma once

#include <cstdio>
#include <string>

class CompilerOutput {
 public:
  CompilerOutput() = default;
  // Deletes the reservation and any compiled file; a failure is told on
  // standard output.
  ~CompilerOutput();
  CompilerOutput(const CompilerOutput&) = delete;
  CompilerOutput& operator=(const CompilerOutput&) = delete;

  // The path for the compiler's output, reserving a unique name when
  // there is none yet; empty when no unique name could be made.
  std::string Path();

  // Deletes the compiled file. Returns 0 when it is gone (or was never
  // made), else the C library's error number.
  int Discard();

 private:
  std::string reserved;
  FILE* held = nullptr;  // the reservation, open and locked
};

// The command line of tolscript-dump: "-brief" and the files to dump, each
// dumped in turn; a damaged or unreadable file gets one error line on
// `err` and the others are still dumped. Returns the exit status: 1 when
// any file had an error, else 0.
#pragma once

#include <cstdio>

int RunDumpCommand(int argc, char** argv, FILE* out, FILE* err);

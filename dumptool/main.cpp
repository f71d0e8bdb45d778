#include <cstdio>

#include "dumptool/dump_command.h"

int main(int argc, char** argv) { return RunDumpCommand(argc, argv, stdout, stderr); }

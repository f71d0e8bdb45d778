// Bytes as rows of 16: the offset, the bytes in hexadecimal (a gap after
// the eighth) and the printable ones as ASCII, others as '.'.
#pragma once

#include <cstdio>
#include <string_view>

void PrintHexRows(FILE* out, std::string_view bytes, int indent);

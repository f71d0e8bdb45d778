#pragma once

// The framework's usage text; both "%s" take the program's file name.
extern const char* const kUsageText;

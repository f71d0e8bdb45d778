// How a fuzz target reports a broken property: the condition and a note on
// stderr, then abort(), which libFuzzer records as a crash with its input.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, note)                                                         \
  ((condition) ? (void)0                                                                    \
               : (std::fprintf(stderr, "%s:%d: property failed: %s (%s)\n", __FILE__, __LINE__, \
                               #condition, note),                                           \
                  std::abort()))

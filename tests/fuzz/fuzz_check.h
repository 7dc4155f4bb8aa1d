// A property that must hold for every input. A failure aborts, which libFuzzer reports as a
// crash and saves the input for.
#pragma once

#include <cstdio>
#include <cstdlib>

#define QV_FUZZ_CHECK(condition)                                                            \
  do {                                                                                      \
    if (!(condition)) {                                                                     \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                         \
    }                                                                                       \
  } while (false)

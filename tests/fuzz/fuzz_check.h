// An invariant a fuzz target asserts: a broken one aborts, which libFuzzer
// reports as a crash with the input that broke it.
#ifndef MIVO_FUZZ_CHECK_H
#define MIVO_FUZZ_CHECK_H

#include <stdio.h>
#include <stdlib.h>

#define CHECK(condition)                                                                           \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            fprintf(stderr, "invariant broken: %s (line %d)\n", #condition, __LINE__);             \
            abort();                                                                               \
        }                                                                                          \
    } while (0)

#endif // MIVO_FUZZ_CHECK_H

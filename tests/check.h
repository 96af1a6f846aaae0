// The checks of the test programs, in the manner of Wine's own tests:
// ok(condition, format, ...) counts the condition and, when it is false,
// prints where and the message; done() prints "N passed, N failed" and gives
// the program's exit code.
#pragma once

#include <stdio.h>

inline int check_passed, check_failed;

#define ok(condition, ...)                                                                         \
    ((condition) ? (void)check_passed++                                                            \
                 : (check_failed++, printf("%s:%d: Test failed: ", __FILE__, __LINE__),           \
                    printf(__VA_ARGS__), (void)puts("")))

inline int done()
{
    printf("%d passed, %d failed\n", check_passed, check_failed);
    return check_failed ? 1 : 0;
}

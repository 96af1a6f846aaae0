// The checks of the test programs: ok(condition, format, ...) counts the
// condition and, when it is false, prints where and the message. done()
// prints "N passed, N failed" and gives the program's exit code.
#pragma once

#include <stdarg.h>
#include <stdio.h>

inline int check_passed, check_failed, check_line;
inline const char* check_file;

__attribute__((format(printf, 2, 3))) inline void check_ok(bool condition, const char* format, ...)
{
    if (condition)
        return (void)check_passed++;
    check_failed++;
    printf("%s:%d: Test failed: ", check_file, check_line);
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    printf("\n");
    fflush(stdout);
}

#define ok (check_file = __FILE__, check_line = __LINE__), check_ok

inline int done()
{
    printf("%d passed, %d failed\n", check_passed, check_failed);
    return check_failed ? 1 : 0;
}

// The few POSIX calls the tests use that MinGW-w64's C library names otherwise
// or lacks, for the tests' Windows builds (force-included by tests/CMakeLists.txt).
#pragma once
#ifdef _WIN32
#include <cstdio>
#include <cstdlib>

inline int setenv(const char* name, const char* value, int overwrite)
{
    if (!overwrite && std::getenv(name))
        return 0;
    return _putenv_s(name, value);
}

// An empty value removes the variable.
inline int unsetenv(const char* name) { return _putenv_s(name, ""); }

inline FILE* popen(const char* command, const char* mode) { return _popen(command, mode); }
inline int pclose(FILE* pipe) { return _pclose(pipe); }

#include "sys/wait.h"  // glibc's <cstdlib> brings the status macros too
#endif

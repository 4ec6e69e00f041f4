// std::system's result on Windows is the command's exit code itself (-1 when
// the command processor could not be started): the POSIX status macros over it,
// for the tests' Windows builds.
#pragma once
#ifndef WIFEXITED
#define WIFEXITED(status) ((status) != -1)
#define WEXITSTATUS(status) (status)
#endif

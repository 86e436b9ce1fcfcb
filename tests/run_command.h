#pragma once
// Running a program from a test: its standard output and exit status.
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace tamlorex::test {

// Standard output of a shell command and its exit status (-1 when it did not exit normally).
inline std::string RunCommand(const std::string& command, int* status = nullptr)
{
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char chunk[4096];
    std::size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) out.append(chunk, n);
    const int s = pclose(pipe);
    if (status) *status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    return out;
}

}  // namespace tamlorex::test

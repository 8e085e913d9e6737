// Runs a program with a time limit and collects its standard output; the
// process is killed when the limit passes, so no test can hang on it.
#pragma once

#include <string>
#include <vector>

struct ChildResult
{
    bool started = false;
    bool timedOut = false;
    int exitCode = -1;      // when it exited
    int termSignal = 0;     // when a signal ended it
    std::string output;     // standard output
};

ChildResult runChild(const std::vector<std::string>& argv, int timeoutMs);

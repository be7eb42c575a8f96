// Marquill's phases: start (settings, start line, parse tables), process (inputs, then
// output) and end (release, end line), and the entry that runs them in order.
#pragma once

namespace mq {

struct OutputRun;

int startRun(OutputRun& run);
int processRun(OutputRun& run);
int endRun(OutputRun& run);

// Runs the whole program on one command-line text; returns the process's exit code for the
// result of processRun (exitCodeOf), or for -1 when the run failed before it. The run it
// makes is its own.
int runMarquill(int count, const char* const* arguments);
// The same with the arguments as one text split at blanks, as tests write them.
int runMarquill(const char* commandLine);

}  // namespace mq

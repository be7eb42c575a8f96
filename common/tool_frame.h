// The common frame of the tools: set-up, options, the question before an existing output
// file is replaced, areas, the run step, release and the final report, once each.
#pragma once

namespace mq {

struct RunRecord;

// What a tool supplies. Every step but the release returns 0, or non-zero after it has set
// the message. outputFile is read after the options step has filled it.
struct ToolSteps {
  int (*parseOptions)();
  const char* outputFile;
  int (*takeAreas)();
  int (*run)();
  void (*releaseAreas)();
  void (*writeUsage)() = nullptr;  // what --help and -h show; none: they are no request
};

// Walks the command line's arguments: /y (or /Y) agrees to replace an existing output without
// a question; any other that begins with "/" and is no path is handed to
// applyOption (which fails with its message), the first two other non-empty ones are the
// tool's two files (fields of kArgumentSize bytes), further ones are ignored. -1 with message
// 1031 when fewer than two file names were given.
int splitToolArguments(RunRecord& record, int (*applyOption)(const char* argument), char* firstFile,
                       char* secondFile);

// The success report: its usual words, then CODE = [NAME] when the input's code was decided
// rather than declared (codeName not empty), then the warning of replaced characters when
// there was one (warning not empty; it also becomes the message's code, 5023).
void setSuccessReport(RunRecord& record, const char* codeName, const char* warning);

// The entry of a tool: returns the process's exit code for the result of the failing step
// (exitCodeOf), 0 after success, and 0 after answering --help, -h or --version.
int runTool(RunRecord& record, int count, const char* const* arguments, const char* programName,
            const ToolSteps& steps);
// The same with the arguments as one text split at blanks, as tests write them.
int runTool(RunRecord& record, const char* commandLine, const char* programName, const ToolSteps& steps);

}  // namespace mq

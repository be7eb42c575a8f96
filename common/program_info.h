// What every program answers instead of running when its first argument asks for it:
// --help or -h writes its usage, --version its name and version, both on standard output in
// the terminal's code, and the program ends with exit code 0.
#pragma once

namespace mq {

struct RunRecord;

// True when argument slot 0 asks for the usage or the version, which has then been written
// (the usage by writeUsage, the version from the run record's program name).
bool answeredInfoRequest(const RunRecord& record, void (*writeUsage)());

// Writes a usage text: printf's format with Shift-JIS texts for its %s, to standard output
// in the terminal's code.
void writeUsageText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace mq

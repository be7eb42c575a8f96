// Marquill: fills a template with values addressed in parsed Japanese web documents,
// driven by the settings file named on its command line.
#include "common/platform.h"
#include "common/run_record.h"
#include "common/work_areas.h"
#include "convert/marquill_run.h"

int main(int argc, char** argv) {
  unsigned char* commandLine = mq::takeCommandLine(argc, argv);
  if (commandLine == nullptr) return mq::exitCodeOf(-1);
  const int code = mq::runMarquill(reinterpret_cast<const char*>(commandLine));
  mq::releaseArea(&commandLine);
  return code;
}

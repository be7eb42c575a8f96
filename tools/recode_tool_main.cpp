// ToolRecast: converts a text file in Shift-JIS, EUC, JIS or UTF-8 into the code named with /c.
#include "common/platform.h"
#include "common/run_record.h"
#include "common/work_areas.h"
#include "tools/recode_tool.h"

int main(int argc, char** argv) {
  unsigned char* commandLine = mq::takeCommandLine(argc, argv);
  if (commandLine == nullptr) return 255;
  const int code = mq::runRecodeTool(reinterpret_cast<const char*>(commandLine));
  mq::releaseArea(&commandLine);
  return code;
}

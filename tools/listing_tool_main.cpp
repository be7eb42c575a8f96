// ToolMqlInputX and ToolMqlInputH: write the tag records of one document as a tag listing.
// The build gives each program its input kind and its name.
#include "common/platform.h"
#include "common/run_record.h"
#include "common/settings.h"
#include "common/work_areas.h"
#include "tools/listing_tool.h"

int main(int argc, char** argv) {
  unsigned char* commandLine = mq::takeCommandLine(argc, argv);
  if (commandLine == nullptr) return mq::exitCodeOf(-1);
  const int code = mq::runListingTool(reinterpret_cast<const char*>(commandLine), MQ_TOOL_NAME,
                                      static_cast<mq::InputKind>(MQ_TOOL_KIND));
  mq::releaseArea(&commandLine);
  return code;
}

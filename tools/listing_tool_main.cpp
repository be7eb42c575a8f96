// ToolMqlInputX and ToolMqlInputH: write the tag records of one document as a tag listing.
// The build gives each program its input kind and its name.
#include "tools/listing_tool.h"

int main(int argc, char** argv) { return mq::runListingTool(argc - 1, argv + 1, MQ_TOOL_NAME, static_cast<mq::InputKind>(MQ_TOOL_KIND)); }

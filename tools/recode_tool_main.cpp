// ToolRecast: converts a text file in Shift-JIS, EUC, JIS or UTF-8 into the code named with /c.
#include "tools/recode_tool.h"

int main(int argc, char** argv) { return mq::runRecodeTool(argc - 1, argv + 1); }

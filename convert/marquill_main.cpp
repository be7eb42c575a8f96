// Marquill: fills a template with values addressed in parsed Japanese web documents,
// driven by the settings file named on its command line.
#include "convert/marquill_run.h"

int main(int argc, char** argv) { return mq::runMarquill(argc - 1, argv + 1); }

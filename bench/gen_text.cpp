// mq_bench_text SIZE_MB OUTPUT: writes the recode benchmark's Shift-JIS text of SIZE_MB
// million bytes.
#include "bench/generator_main.h"
#include "bench/text_generator.h"

int main(int argc, char** argv) { return mq::bench::runGenerator(argc, argv, mq::bench::generateText); }

// mq_bench_gen SIZE_MB OUTPUT: writes the benchmark document of SIZE_MB million bytes.
#include "bench/generator_main.h"
#include "bench/html_generator.h"

int main(int argc, char** argv) { return mq::bench::runGenerator(argc, argv, mq::bench::generateHtml); }

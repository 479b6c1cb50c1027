// quolvend: a calculator for dense single-precision matrices. One run, one
// operation.
#include "cli/run.h"

int main(int argc, char** argv) { quolvend::run_program(argc, argv); }

// The program as a process limit on threads leaves it: every thread start is
// refused, so a run does everything on its own thread. The end-to-end tests
// run this build where the program must do without threads (the tests run as
// root, where a real limit on threads does not apply).
#include "cli/run.h"
#include "process/thread.h"

int main(int argc, char** argv) {
  quolvend::refuse_threads();
  quolvend::run_program(argc, argv);
}

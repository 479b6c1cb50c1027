#include "cli/options.h"

#include <getopt.h>

#include "process/exits.h"

namespace quolvend {
namespace {

// The cut option (-r, --reduce) works but is not listed.
constexpr char kUsage[] =
    "Usage: quolvend [options] <file1> <file2>\n"
    "\t-h or --help     \tDisplay this help.\n"
    "\t-a or --add      \tPerform matrix addition.\n"
    "\t-s or --subtract \tPerform matrix subtraction.\n"
    "\t-m or --multiply \tPerform matrix multiplication.\n"
    "\t-D or --determinant\t Find the determinant of a Matrix.\n"
    "\t-d or --divide   \tPerform Matrix division.\n"
    "\t-i or --invert   \tFind the Inverse of a Matrix.\n\n"
    "\tThe file1 and file2 parts are optional, and can be used to specify\n"
    "\tfiles to load the matrices from.  Must have one matrix per file\n"
    "\tand you must load them in order (you can't load the second matrix\n"
    "\tbut not the first)\n\n";

constexpr option kLongOptions[] = {
    {"help", no_argument, nullptr, 'h'},
    {"add", no_argument, nullptr, 'a'},
    {"subtract", no_argument, nullptr, 's'},
    {"multiply", no_argument, nullptr, 'm'},
    {"determinant", no_argument, nullptr, 'D'},
    {"divide", no_argument, nullptr, 'd'},
    {"invert", no_argument, nullptr, 'i'},
    {"reduce", no_argument, nullptr, 'r'},
    {nullptr, 0, nullptr, 0},
};

[[noreturn]] void usage() { usage_exit({kUsage, sizeof kUsage - 1}); }

}  // namespace

Operation parse_options(int argc, char** argv) {
  Operation operation = Operation::none;
  for (int c; (c = getopt_long(argc, argv, "asmDdhir", kLongOptions, nullptr)) != -1;) {
    switch (c) {
      case 'a':
        operation = Operation::add;
        break;
      case 's':
        operation = Operation::subtract;
        break;
      case 'm':
        operation = Operation::multiply;
        break;
      case 'D':
        operation = Operation::determinant;
        break;
      case 'd':
        operation = Operation::divide;
        break;
      case 'i':
        operation = Operation::invert;
        break;
      case 'r':
        operation = Operation::cut;
        break;
      case 'h':
      case '?':
        usage();
      default:
        break;
    }
  }
  if (operation == Operation::none) usage();
  return operation;
}

}  // namespace quolvend

// The command line: option table, usage text and operation codes.
#pragma once

namespace quolvend {

enum class Operation {
  none = 0,
  add = 1,
  subtract = 2,
  multiply = 3,
  determinant = 4,
  invert = 5,
  divide = 6,
  cut = 7,  // --reduce: leave out one row and one column
};

// Parses the options with getopt_long, which also moves them ahead of the file
// names in argv (unless POSIXLY_CORRECT is set). The last operation option
// wins. For -h, --help, an unknown option or no operation at all, writes the
// usage text to standard error and ends the process with status 1.
Operation parse_options(int argc, char** argv);

}  // namespace quolvend

// Loading operands from named files.
#pragma once

#include <utility>

#include "matrix/matrix.h"

namespace quolvend {

// Opens the file `name` and reads one matrix from it, without prompts. Ends
// the process with "Error opening file" if it cannot be opened, or as
// matrix_read does.
Matrix load_file(const char* name);

// Loads two files, at once when threads allow. The outcome is that of loading
// them in turn: the first file's failure is reported before anything of the
// second's.
std::pair<Matrix, Matrix> load_two_files(const char* first_name, const char* second_name);

}  // namespace quolvend

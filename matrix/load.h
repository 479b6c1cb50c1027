// Loading operands from named files.
#pragma once

#include <utility>

#include "kernels/compute.h"
#include "matrix/matrix.h"

namespace quolvend {

// Opens the file `name` and reads one matrix from it, without prompts; messages
// call it `operand`. Ends the process with "Error opening file" if it cannot
// be opened, or as matrix_read does.
Matrix load_file(const char* name, const char* operand, const Compute& compute);

// Loads two files, at once when threads allow. The outcome is that of loading
// them in turn: the first file's failure is reported before anything of the
// second's.
std::pair<Matrix, Matrix> load_two_files(const char* first_name, const char* second_name,
                                         const Compute& compute);

// What messages call the first and the second operand.
inline constexpr const char* kFirstOperand = "the first operand";
inline constexpr const char* kSecondOperand = "the second operand";

}  // namespace quolvend

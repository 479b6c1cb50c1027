// End-to-end tests: the built program, run with files, standard input, options
// and environment; standard output, standard error and exit status compared
// byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "tests/run.h"

namespace quolvend::testing {
namespace {

const std::string kUsage =
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

const std::string kSizeMessage =
    "Number of Columns on first Matrix does not equal\nnumber of rows on Second Matrix.\n";

class Cli : public ::testing::Test {
 protected:
  Cli() {
    file("a23.txt", "2 3 1 2 3 4 5 6");
    file("b32.txt", "3 2 7 8 9 10 11 12");
    file("a22.txt", "2 2 1 2 3 4");
    file("b22.txt", "2 2\n5 6\n7 8\n");
    file("m33.txt", "3 3 1 2 3 4 5 6 7 8 9");
  }

  std::string file(const std::string& name, const std::string& text) {
    return box_.write(name, text);
  }

  Outcome run(std::vector<std::string> args, std::string input = "",
              std::map<std::string, std::string> env = {}) {
    return run_quolvend(
        {std::move(args), std::move(input), std::move(env), std::nullopt, box_.path()});
  }

  Sandbox box_;
};

::testing::AssertionResult outcome_is(const Outcome& o, const std::string& out,
                                      const std::string& err, int status) {
  if (o.out == out && o.err == err && o.status == status) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "\n  stdout " << ::testing::PrintToString(o.out) << "\n  wanted "
         << ::testing::PrintToString(out) << "\n  stderr " << ::testing::PrintToString(o.err)
         << "\n  wanted " << ::testing::PrintToString(err) << "\n  status " << o.status
         << ", wanted " << status;
}

#define EXPECT_OUTCOME(outcome, out, err, status) EXPECT_TRUE(outcome_is(outcome, out, err, status))

// --- Options and usage ------------------------------------------------------

TEST_F(Cli, HelpAndMissingOperationPrintUsageAndFail) {
  EXPECT_OUTCOME(run({}), "", kUsage, 1);
  EXPECT_OUTCOME(run({"-h"}), "", kUsage, 1);
  EXPECT_OUTCOME(run({"--help"}), "", kUsage, 1);
  EXPECT_OUTCOME(run({"-a", "-h", "a22.txt", "b22.txt"}), "", kUsage, 1);
  // No operation: no file is even opened.
  EXPECT_OUTCOME(run({"missing.txt", "b22.txt"}), "", kUsage, 1);
  EXPECT_OUTCOME(run({"-"}), "", kUsage, 1);
}

TEST_F(Cli, ParserDiagnosticsPrecedeTheUsage) {
  EXPECT_OUTCOME(run({"-x", "a22.txt"}), "", "quolvend: invalid option -- 'x'\n" + kUsage, 1);
  EXPECT_OUTCOME(run({"--bogus"}), "", "quolvend: unrecognized option '--bogus'\n" + kUsage, 1);
  EXPECT_OUTCOME(
      run({"--d", "a22.txt", "b22.txt"}), "",
      "quolvend: option '--d' is ambiguous; possibilities: '--determinant' '--divide'\n" + kUsage,
      1);
  EXPECT_OUTCOME(run({"--add=x", "a22.txt", "b22.txt"}), "",
                 "quolvend: option '--add' doesn't allow an argument\n" + kUsage, 1);
  // -h wins even after a valid operation.
  EXPECT_OUTCOME(run({"-ah", "a22.txt", "b22.txt"}), "", kUsage, 1);
}

TEST_F(Cli, OptionWordsLongNamesAndAbbreviations) {
  const std::string sum = "6.000\t8.000\t\n10.000\t12.000\t\n";
  EXPECT_OUTCOME(run({"--add", "a22.txt", "b22.txt"}), sum, "", 0);
  EXPECT_OUTCOME(run({"--ad", "a22.txt", "b22.txt"}), sum, "", 0);
  EXPECT_OUTCOME(run({"--det", "a22.txt"}), "Determinant = -2.000000\n", "", 0);
  // The last operation letter wins: -add is a, d, d, so divide.
  EXPECT_OUTCOME(run({"-add", "a22.txt", "a22.txt"}), "1.000\t0.000\t\n0.000\t1.000\t\n", "", 0);
  EXPECT_OUTCOME(run({"-ms", "a22.txt", "b22.txt"}), "-4.000\t-4.000\t\n-4.000\t-4.000\t\n", "", 0);
}

TEST_F(Cli, FileNamesComeFromFixedPositionsAfterReordering) {
  const std::string product = "58.000\t64.000\t\n139.000\t154.000\t\n";
  EXPECT_OUTCOME(run({"a23.txt", "b32.txt", "-m"}), product, "", 0);
  EXPECT_OUTCOME(run({"a23.txt", "-m", "b32.txt"}), product, "", 0);
  // Strict POSIX parsing stops at the first file name: no operation.
  EXPECT_OUTCOME(run({"a23.txt", "b32.txt", "-m"}, "", {{"POSIXLY_CORRECT", "1"}}), "", kUsage, 1);
  EXPECT_OUTCOME(run({"-m", "a23.txt", "b32.txt"}, "", {{"POSIXLY_CORRECT", "1"}}), product, "", 0);
  // Two option words push the file names along: position 2 holds "-s".
  EXPECT_OUTCOME(run({"-a", "-s", "a22.txt", "b22.txt"}), "Error opening file\n", "", 1);
  // Words beyond the second file name are ignored, as is a second file for
  // a one-operand operation.
  EXPECT_OUTCOME(run({"-a", "a22.txt", "b22.txt", "extra", "more"}),
                 "6.000\t8.000\t\n10.000\t12.000\t\n", "", 0);
  EXPECT_OUTCOME(run({"-D", "a22.txt", "missing.txt"}), "Determinant = -2.000000\n", "", 0);
}

// --- Loading ----------------------------------------------------------------

TEST_F(Cli, KeyboardInputGetsPromptsOnOneLine) {
  EXPECT_OUTCOME(run({"-D"}, "2 2 1 2 3 4"),
                 "First Matrix\nRows: Columns: Value for 0,0: Value for 0,1: Value for 1,0: "
                 "Value for 1,1: Determinant = -2.000000\n",
                 "", 0);
  EXPECT_OUTCOME(run({"-a", "a22.txt"}, "2\n2\n1 1\n1 1\n"),
                 "Second Matrix\nRows: Columns: Value for 0,0: Value for 0,1: Value for 1,0: "
                 "Value for 1,1: 2.000\t3.000\t\n4.000\t5.000\t\n",
                 "", 0);
  EXPECT_OUTCOME(run({"-s"}, "1 1 5 1 1 2"),
                 "First Matrix\nRows: Columns: Value for 0,0: Second Matrix\nRows: Columns: "
                 "Value for 0,0: 3.000\t\n",
                 "", 0);
}

TEST_F(Cli, KeyboardRetriesNameWhatIsAskedAgain) {
  // abc is discarded; 3x gives 3 and leaves x, which fails the column count.
  EXPECT_OUTCOME(run({"-D"}, "abc 3x 2 1 2 3 4 5 6"),
                 "First Matrix\nRows: Invalid input. Rows: Columns: Invalid input. Columns: "
                 "Value for 0,0: Value for 0,1: Value for 1,0: Value for 1,1: Value for 2,0: "
                 "Value for 2,1: Matrix must be square\n",
                 "", 1);
  EXPECT_OUTCOME(run({"-D"}, "1 1 one 1e2x"),
                 "First Matrix\nRows: Columns: Value for 0,0: Invalid input. Value for 0, 0: "
                 "Determinant = 100.000000\n",
                 "", 0);
}

TEST_F(Cli, FilesAreReadSilentlyAndBadTokensSkipped) {
  file("odd.txt", "2 x 2\n1 - 2\n\t3 in 4 trailing words");
  EXPECT_OUTCOME(run({"-a", "odd.txt", "odd.txt"}), "2.000\t4.000\t\n6.000\t8.000\t\n", "", 0);
  // 1.5.5 is two numbers, 1.5 and .5.
  file("spellings.txt", "1 7 2.5e1 -0 0x1p-2 +7 1.5.5 -1e-9");
  file("zeros.txt", "1 7 0 -0 0 0 0 0 -0");
  EXPECT_OUTCOME(run({"-a", "spellings.txt", "zeros.txt"}),
                 "25.000\t-0.000\t0.250\t7.000\t1.500\t0.500\t-0.000\t\n", "", 0);
}

// A word packed with millions of numbers reads in linear time (a generous
// processor-time limit guards against a path that is not).
TEST_F(Cli, MegabytesOfPackedNumbersReadInLinearTime) {
  constexpr int kCount = 1500000;
  std::string text = "1 " + std::to_string(kCount) + "\n", zeros;
  for (int i = 0; i < kCount; ++i) {
    text += ".5";
    zeros += "0.000\t";
  }
  file("packed.txt", text);
  Outcome o =
      run_quolvend({{"-s", "packed.txt", "packed.txt"}, "", {}, std::nullopt, box_.path(), 0, 120});
  EXPECT_TRUE(outcome_is(o, zeros + "\n", "", 0));
}

// Just past the fast path's bounds (digits above 2^24, a power of ten above
// 10^10) one rounding no longer gives strtof's value: such words must take
// the exact path, in the bulk reader and the stream reader alike.
TEST_F(Cli, NumbersPastTheFastPathReadAsStrtofReadsThem) {
  const std::string words = "1 6 1677721.7 167772.17 16777.219 1677722.1 3e13 -7e13";
  const std::string values =
      "1677721.750\t167772.172\t16777.219\t1677722.125\t30000000532480.000\t"
      "-70000001941504.000\t\n";
  file("edge.txt", words);
  file("zero.txt", "1 6 0 0 0 0 0 0");
  EXPECT_OUTCOME(run({"-a", "edge.txt", "zero.txt"}), values, "", 0);
  EXPECT_OUTCOME(run({"-a", "-", "zero.txt"}, words), values, "", 0);
}

TEST_F(Cli, EmptyMatricesAreOrdinaryValues) {
  file("e00.txt", "0 0");
  file("e20.txt", "2 0");
  file("e02.txt", "0 2");
  EXPECT_OUTCOME(run({"-a", "e00.txt", "e00.txt"}), "", "", 0);
  EXPECT_OUTCOME(run({"-s", "e20.txt", "e20.txt"}), "\n\n", "", 0);
  EXPECT_OUTCOME(run({"-m", "e20.txt", "e02.txt"}), "0.000\t0.000\t\n0.000\t0.000\t\n", "", 0);
  EXPECT_OUTCOME(run({"-m", "e02.txt", "e20.txt"}), "", "", 0);
}

// The message names the operand that ended and what it held, the same
// whatever kind of file it came from.
TEST_F(Cli, StreamEndingBeforeAValueFails) {
  file("short.txt", "2 2 1 2 3");
  const std::string short_file =
      "Unexpected end of input: the first operand holds 3 of the 4 values of a 2 x 2 matrix\n";
  EXPECT_OUTCOME(run({"-a", "short.txt", "a22.txt"}), short_file, "", 1);
  EXPECT_OUTCOME(run({"-a", "-", "a22.txt"}, "2 2 1 2 3"), short_file, "", 1);
  EXPECT_OUTCOME(run({"-a", "a22.txt", "short.txt"}),
                 "Unexpected end of input: the second operand holds 3 of the 4 values of a 2 x 2 "
                 "matrix\n",
                 "", 1);
  // The first file's failure comes first, whatever the second holds.
  EXPECT_OUTCOME(run({"-a", "short.txt", "missing.txt"}), short_file, "", 1);
  EXPECT_OUTCOME(run({"-m", "short.txt", "."}), short_file, "", 1);
  file("header.txt", "3");
  EXPECT_OUTCOME(run({"-D", "header.txt"}),
                 "Unexpected end of input: the first operand ends before the column count\n", "",
                 1);
  file("empty.txt", "");
  EXPECT_OUTCOME(run({"-D", "empty.txt"}),
                 "Unexpected end of input: the first operand ends before the row count\n", "", 1);
  EXPECT_OUTCOME(run({"-a", "a22.txt"}, "2 2 1 x"),
                 "Second Matrix\nRows: Columns: Value for 0,0: Value for 0,1: "
                 "Invalid input. Value for 0, 1: Unexpected end of input: the second operand holds "
                 "1 of the 4 values of a 2 x 2 matrix\n",
                 "", 1);
  EXPECT_OUTCOME(run({"-m"}),
                 "First Matrix\nRows: Unexpected end of input: the first operand ends before the "
                 "row count\n",
                 "", 1);
  // A directory opens but cannot be read.
  EXPECT_OUTCOME(run({"-D", "."}), "Error reading input\n", "", 1);
}

TEST_F(Cli, DashReadsStandardInputAsAFile) {
  EXPECT_OUTCOME(run({"-D", "-"}, "2 2 1 2 3 4"), "Determinant = -2.000000\n", "", 0);
  // Junk is skipped silently, and the one buffer serves every later read.
  EXPECT_OUTCOME(run({"-a", "-", "-"}, "2 x 2 1 2 3 4 2 2 1 1 1 1"),
                 "2.000\t3.000\t\n4.000\t5.000\t\n", "", 0);
  EXPECT_OUTCOME(run({"-r", "-"}, "2 2 1 2 3 4 1 1"),
                 "Where do you want to cut the matrix?1.000\t\n", "", 0);
  EXPECT_OUTCOME(run({"-m", "a23.txt", "-"}, "3 2 7 8 9 10 11 12"),
                 "58.000\t64.000\t\n139.000\t154.000\t\n", "", 0);
  EXPECT_OUTCOME(run({"-s", "-"}, "1 1 5 1 1 2"),
                 "Second Matrix\nRows: Columns: Value for 0,0: 3.000\t\n", "", 0);
  EXPECT_OUTCOME(run({"-D", "-"}, "2 2 1 2"),
                 "Unexpected end of input: the first operand holds 2 of the 4 values of a 2 x 2 "
                 "matrix\n",
                 "", 1);
  // What follows a number in its word is read next, on the bulk path too:
  // "7-1" is 7, then the second's row count, -1.
  EXPECT_OUTCOME(run({"-a", "-", "-"}, "1 1 7-1 1 1 5"),
                 "Unexpected end of input: the second operand holds 2 of the 4294967295 values of "
                 "a 4294967295 x 1 matrix\n",
                 "", 1);
  // A file really named "-" is ./-.
  file("-", "1 1 4");
  EXPECT_OUTCOME(run({"-D", "./-"}), "Determinant = 4.000000\n", "", 0);
}

TEST_F(Cli, ByteOrderMarkAtTheVeryStartIsSkipped) {
  const std::string mark = "\xEF\xBB\xBF";
  file("bom.txt", mark + "2 2 1 2 3 4");
  EXPECT_OUTCOME(run({"-D", "bom.txt"}), "Determinant = -2.000000\n", "", 0);
  EXPECT_OUTCOME(run({"-D", "-"}, mark + "1 1 3"), "Determinant = 3.000000\n", "", 0);
  // A mark that arrives alone is no end of the text: the text follows it.
  auto late = [&](const std::string& command, const std::string& text) {
    return run_shell("{ printf '\\357\\273\\277'; sleep 0.2; printf '" + text + "'; } | " + command,
                     {{}, "", {}, std::nullopt, box_.path()});
  };
  EXPECT_OUTCOME(late("quolvend -D -", "1 1 3"), "Determinant = 3.000000\n", "", 0);
  EXPECT_OUTCOME(late("quolvend -D", "1 1 3"),
                 "First Matrix\nRows: Columns: Value for 0,0: Determinant = 3.000000\n", "", 0);
  EXPECT_OUTCOME(late("quolvend -r m33.txt", "1 1"),
                 "Where do you want to cut the matrix?1.000\t3.000\t\n7.000\t9.000\t\n", "", 0);
  EXPECT_OUTCOME(
      late("{ rm -f fifo; mkfifo fifo; exec 3<&0; cat <&3 > fifo & quolvend -D fifo; }", "1 1 3"),
      "Determinant = 3.000000\n", "", 0);
  // Anywhere else it is part of a word that starts no number.
  file("inner.txt", "1 2 " + mark + "5 6");
  EXPECT_OUTCOME(run({"-D", "inner.txt"}),
                 "Unexpected end of input: the first operand holds 1 of the 2 values of a 1 x 2 "
                 "matrix\n",
                 "", 1);
}

TEST_F(Cli, MissingFileFails) {
  EXPECT_OUTCOME(run({"-a", "missing.txt", "b22.txt"}), "Error opening file\n", "", 1);
  EXPECT_OUTCOME(run({"-a", "a22.txt", "missing.txt"}), "Error opening file\n", "", 1);
  // The first operand is read from standard input before the second file fails.
  EXPECT_OUTCOME(run({"-m", "-", "missing.txt"}, "2 2 1 2 3 4"), "Error opening file\n", "", 1);
}

// --- Sum, difference, product (the plain cases are the documented examples) ---

TEST_F(Cli, UnsuitableSizesGiveNoSolution) {
  EXPECT_OUTCOME(run({"-a", "a22.txt", "a23.txt"}), "Matrices must be the same size\nNo Solution\n",
                 "", 1);
  EXPECT_OUTCOME(run({"-s", "a23.txt", "b32.txt"}), "Matrices must be the same size\nNo Solution\n",
                 "", 1);
}

TEST_F(Cli, SpecialValuesPrintWithoutASignOnNan) {
  file("inf.txt", "1 4 inf -inf 1e30 nan");
  file("neg.txt", "1 4 -inf -inf -1e30 -nan");
  EXPECT_OUTCOME(run({"-a", "inf.txt", "neg.txt"}), "nan\t-inf\t0.000\tnan\t\n", "", 0);
  EXPECT_OUTCOME(run({"-m", "inf.txt", "inf.txt"}), kSizeMessage + "No Solution\n", "", 1);
  file("big.txt", "1 2 3e38 3e38");
  EXPECT_OUTCOME(run({"-a", "big.txt", "big.txt"}), "inf\tinf\t\n", "", 0);
}

TEST_F(Cli, OutputIgnoresTheUsersLocale) {
  EXPECT_OUTCOME(
      run({"-a", "a22.txt", "b22.txt"}, "", {{"LC_ALL", "de_DE.UTF-8"}, {"LANG", "fr_FR.UTF-8"}}),
      "6.000\t8.000\t\n10.000\t12.000\t\n", "", 0);
}

// --- Determinant and cut -----------------------------------------------------

TEST_F(Cli, Determinant) {
  file("e00.txt", "0 0");
  file("singular.txt", "3 3 2 0 1 1 3 2 1 1 1");
  file("over.txt", "2 2 1e30 1e30 1e30 1e30");
  EXPECT_OUTCOME(run({"-D", "e00.txt"}), "Determinant = 0.000000\n", "", 0);
  EXPECT_OUTCOME(run({"-D", "singular.txt"}), "Determinant = 0.000000\n", "", 0);
  EXPECT_OUTCOME(run({"-D", "over.txt"}), "Determinant = nan\n", "", 0);
  EXPECT_OUTCOME(run({"-D", "a23.txt"}), "Matrix must be square\n", "", 1);
}

TEST_F(Cli, CutAsksForAPositionOnStandardInput) {
  EXPECT_OUTCOME(run({"--reduce", "m33.txt"}, "0 2"),
                 "Where do you want to cut the matrix?4.000\t5.000\t\n7.000\t8.000\t\n", "", 0);
  EXPECT_OUTCOME(run({"-r", "a23.txt"}, "0x0 -0"),
                 "Where do you want to cut the matrix?5.000\t6.000\t\n", "", 0);
  file("one.txt", "1 1 -0");
  EXPECT_OUTCOME(run({"-r", "one.txt"}, "0 0"), "Where do you want to cut the matrix?", "", 0);
  // The matrix and the position share standard input.
  EXPECT_OUTCOME(run({"-r"}, "2 2 1 2 3 -0\n1 0"),
                 "First Matrix\nRows: Columns: Value for 0,0: Value for 0,1: Value for 1,0: "
                 "Value for 1,1: Where do you want to cut the matrix?2.000\t\n",
                 "", 0);
  EXPECT_OUTCOME(run({"-r"}, "2 2 -0 2 3 4 1 1"),
                 "First Matrix\nRows: Columns: Value for 0,0: Value for 0,1: Value for 1,0: "
                 "Value for 1,1: Where do you want to cut the matrix?-0.000\t\n",
                 "", 0);
}

// The message gives the range that was allowed.
TEST_F(Cli, CutPositionOutsideTheMatrixOrUnreadableFails) {
  const std::string invalid =
      "Where do you want to cut the matrix?Invalid cut position: give a row from 0 to 2 and a "
      "column from 0 to 2\n";
  for (const char* position : {"3 0", "0 3", "-1 0", "0 -1", "x 1", "1 x", "1", "", "010 1",
                               "4294967297 1", "0x100000001 0", "99999999999999999999 0"}) {
    EXPECT_OUTCOME(run({"-r", "m33.txt"}, position), invalid, "", 1) << position;
  }
  file("e00.txt", "0 0");
  file("e20.txt", "2 0");
  EXPECT_OUTCOME(run({"-r", "e00.txt"}, "0 0"),
                 "Where do you want to cut the matrix?Invalid cut position: a 0 x 0 matrix has "
                 "nothing to cut\n",
                 "", 1);
  EXPECT_OUTCOME(run({"-r", "e20.txt"}, "0 0"),
                 "Where do you want to cut the matrix?Invalid cut position: a 2 x 0 matrix has "
                 "nothing to cut\n",
                 "", 1);
  // Octal and hexadecimal, as %i reads them: 010 is 8, 02 is 2.
  EXPECT_OUTCOME(run({"-r", "m33.txt"}, "02 0x1"),
                 "Where do you want to cut the matrix?1.000\t3.000\t\n4.000\t6.000\t\n", "", 0);
}

// --- Inverse and division ----------------------------------------------------

TEST_F(Cli, Inverse) {
  file("i33.txt", "3 3 2 0 1 1 3 2 1 1 2");
  EXPECT_OUTCOME(run({"-i", "a22.txt"}), "-2.000\t1.000\t\n1.500\t-0.500\t\n", "", 0);
  // The zero cofactor at an odd position is -0, and prints so.
  EXPECT_OUTCOME(run({"-i", "i33.txt"}),
                 "0.667\t0.167\t-0.500\t\n-0.000\t0.500\t-0.500\t\n-0.333\t-0.333\t1.000\t\n", "",
                 0);
}

TEST_F(Cli, InverseOfOneByOneIsTheReciprocal) {
  file("four.txt", "1 1 4");
  file("minus5.txt", "1 1 -5");
  file("six.txt", "1 1 6");
  EXPECT_OUTCOME(run({"-i", "four.txt"}), "0.250\t\n", "", 0);
  EXPECT_OUTCOME(run({"-i", "minus5.txt"}), "-0.200\t\n", "", 0);
  EXPECT_OUTCOME(run({"-d", "six.txt", "four.txt"}), "1.500\t\n", "", 0);
}

TEST_F(Cli, InverseFailures) {
  file("e00.txt", "0 0");
  file("singular.txt", "2 2 1 2 2 4");
  EXPECT_OUTCOME(run({"-i", "e00.txt"}), "Matrix not Invertable\n\n", "", 1);
  EXPECT_OUTCOME(run({"-i", "singular.txt"}), "Matrix not Invertable\n\n", "", 1);
  EXPECT_OUTCOME(run({"-i", "a23.txt"}), "Matrix must be Square\n", "", 1);
}

TEST_F(Cli, Division) {
  EXPECT_OUTCOME(run({"-d", "a22.txt", "a22.txt"}), "1.000\t0.000\t\n0.000\t1.000\t\n", "", 0);
  EXPECT_OUTCOME(run({"-d", "a23.txt", "a22.txt"}), kSizeMessage + "No Solution\n", "", 1);
  // The divisor is inverted before the sizes are compared.
  file("singular.txt", "3 3 1 2 3 2 4 6 1 1 1");
  EXPECT_OUTCOME(run({"-d", "a22.txt", "singular.txt"}), "Matrix not Invertable\n\n", "", 1);
  EXPECT_OUTCOME(run({"-d", "a22.txt", "a23.txt"}), "Matrix must be Square\n", "", 1);
}

// --- Robustness ----------------------------------------------------------------

TEST_F(Cli, MemoryFollowsTheElementsNotTheDeclaredSizes) {
  // More than any machine holds.
  file("huge.txt", "4000000000 4000000000 1 2 3");
  file("wrapped.txt", "-1 -1");
  EXPECT_OUTCOME(run({"-a", "huge.txt", "huge.txt"}), "MALLOC error\n", "", 1);
  EXPECT_OUTCOME(run({"-D", "wrapped.txt"}), "MALLOC error\n", "", 1);
  // A header alone costs nothing: no table of rows, no elements touched.
  file("tall.txt", "500000000 0");
  file("lazy.txt", "8000 8000 1 2 3");
  Outcome tall = run({"-D", "tall.txt"});
  EXPECT_OUTCOME(tall, "Matrix must be square\n", "", 1);
  if (runs_natively()) {
    EXPECT_LT(tall.peak_memory_kib, 10 * 1024);
  }
  if (zeroed_blocks_cost_memory()) return;
  // 256 MB can be had, but nothing is written before the elements arrive.
  // (LeakSanitizer's scan at the end would read every page of it.)
  Outcome lazy = run({"-m", "lazy.txt", "lazy.txt"}, "",
                     {{"ASAN_OPTIONS", "allocator_may_return_null=1:detect_leaks=0"}});
  EXPECT_OUTCOME(lazy,
                 "Unexpected end of input: the first operand holds 3 of the 64000000 values of a "
                 "8000 x 8000 matrix\n",
                 "", 1);
  if (runs_natively()) {
    EXPECT_LT(lazy.peak_memory_kib, 32 * 1024);
  }
}

TEST_F(Cli, WorkThatCannotFitTheAddressSpaceFailsBeforeItStarts) {
  if (!runs_natively()) GTEST_SKIP() << "the address space cannot be limited here";
  // The cofactor tables of a 26 x 26 inverse take 180 MB.
  std::string text = "26 26";
  for (int i = 0; i < 26 * 26; ++i) text += i % 27 == 0 ? " 2" : " 0";
  file("m26.txt", text);
  Outcome capped = run_quolvend(
      {{"-i", "m26.txt"}, "", {}, std::nullopt, box_.path(), std::uint64_t{128} << 20});
  EXPECT_OUTCOME(capped, "MALLOC error\n", "", 1);
}

TEST_F(Cli, LargeMatricesTakeTheLuPath) {
  // Cofactor tables for these would need terabytes, or more than 64-bit sizes
  // count; the LU path needs kilobytes. The identity stays the identity.
  for (int n : {27, 70}) {
    std::string text = std::to_string(n) + " " + std::to_string(n);
    std::string identity;
    for (int i = 0; i < n * n; ++i) {
      text += i % (n + 1) == 0 ? " 1" : " 0";
      identity += i % (n + 1) == 0 ? "1.000\t" : "0.000\t";
      if (i % n == n - 1) identity += "\n";
    }
    file("big.txt", text);
    EXPECT_OUTCOME(run({"-D", "big.txt"}), "Determinant = 1.000000\n", "", 0) << n;
    EXPECT_OUTCOME(run({"-i", "big.txt"}), identity, "", 0) << n;
    EXPECT_OUTCOME(run({"-d", "big.txt", "big.txt"}), identity, "", 0) << n;
  }
  // Singular in the arithmetic: a zero pivot column.
  std::string singular = "27 27";
  for (int i = 0; i < 27 * 27; ++i) singular += i % 27 == 3 ? " 0" : " 1";
  file("singular.txt", singular);
  EXPECT_OUTCOME(run({"-D", "singular.txt"}), "Determinant = 0.000000\n", "", 0);
  EXPECT_OUTCOME(run({"-i", "singular.txt"}), "Matrix not Invertable\n\n", "", 1);
  // A NaN anywhere makes everything NaN, though a zero pivot column comes first.
  singular.replace(5 + 2 * (27 * 5 + 5), 2, " nan");  // at row 5, column 5
  file("nan.txt", singular);
  std::string nans;
  for (int i = 0; i < 27; ++i) {
    for (int j = 0; j < 27; ++j) nans += "nan\t";
    nans += "\n";
  }
  EXPECT_OUTCOME(run({"-D", "nan.txt"}), "Determinant = nan\n", "", 0);
  EXPECT_OUTCOME(run({"-i", "nan.txt"}), nans, "", 0);
  EXPECT_OUTCOME(run({"-d", "nan.txt", "nan.txt"}), nans, "", 0);
}

// A non-blocking output pipe read late, a non-blocking input empty at first
// (the flags are shared with whoever set them), and a 16 KiB stack give the
// plain run's bytes and status.
TEST_F(Cli, NonBlockingPipesAndSmallStacksChangeNothing) {
  std::string big = "300 300\n", square = "22 22\n";
  for (int i = 0; i < 300 * 300; ++i) big += std::to_string(i % 97 - 48) + (i % 300 ? " " : "\n");
  for (int i = 0; i < 22 * 22; ++i) square += std::to_string(i * 7 % 13 - 6) + " ";
  file("big.txt", big);
  file("square.txt", square);
  const std::vector<std::pair<std::vector<std::string>, std::string>> runs = {
      {{"-a", "big.txt", "big.txt"}, ""},
      {{"-i", "big.txt"}, ""},
      {{"-D", "square.txt"}, ""},
      {{"-D"}, "2 2 1 2 3 4"},
      {{"-i"}, "4 4 2 1 0 0 1 3 1 0 0 1 4 1 0 0 1 5"},
      {{"-r", "-"}, "3 3 1 2 3 4 5 6 7 8 9 1 1"}};
  // Outputs are long: a difference is told by where it starts.
  auto same = [](const Outcome& a, const Outcome& b) {
    if (a.out == b.out && a.err == b.err && a.status == b.status)
      return ::testing::AssertionSuccess();
    std::size_t at = 0;
    while (at < a.out.size() && at < b.out.size() && a.out[at] == b.out[at]) ++at;
    return ::testing::AssertionFailure() << "status " << a.status << " against " << b.status << ", "
                                         << a.out.size() << " bytes against " << b.out.size()
                                         << ", first differing at " << at << ", " << a.err << b.err;
  };
  for (const auto& [args, input] : runs) {
    const Outcome plain = run(args, input);
    Invocation late{args, input, {}, std::nullopt, box_.path()};
    late.nonblocking = true;
    EXPECT_TRUE(same(run_quolvend(late), plain)) << args[0];
    if (!runs_natively()) continue;  // a sanitizer's runtime or the emulator needs more
    std::string command = "ulimit -s 16; exec quolvend";
    for (const std::string& arg : args) command += " " + arg;
    // Where the stack starts varies from run to run. (The limit holds the
    // environment too: a few kilobytes more of it, and no program starts.)
    for (int round = 0; round < 10; ++round) {
      EXPECT_TRUE(same(run_shell(command, {{}, input, {}, std::nullopt, box_.path()}), plain))
          << command;
    }
  }
}

TEST_F(Cli, UnwritableOutputIsAFailure) {
  Outcome full = run_quolvend({{"-m", "a23.txt", "b32.txt"}, "", {}, "/dev/full", box_.path()});
  EXPECT_OUTCOME(full, "", "Error writing output\n", 1);
}

}  // namespace
}  // namespace quolvend::testing

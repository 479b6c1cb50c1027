// Every example shown in the README and the manual page is run, and its
// output compared with what the document shows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/run.h"

namespace quolvend::testing {
namespace {

struct Example {
  std::string command;
  std::string output;
};

std::vector<std::string> lines_of(const std::string& path) {
  std::ifstream file(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

// Within the blocks between `open` and `close` lines, a line "$ command" is
// followed by the command's output, up to the next command or the block's end.
std::vector<Example> examples_in(const std::vector<std::string>& lines, const std::string& open,
                                 const std::string& close) {
  std::vector<Example> examples;
  bool inside = false;
  for (const auto& line : lines) {
    if (!inside) {
      inside = line == open;
    } else if (line == close) {
      inside = false;
    } else if (line.rfind("$ ", 0) == 0) {
      examples.push_back({line.substr(2), ""});
    } else if (!examples.empty()) {
      examples.back().output += line + "\n";
    }
  }
  return examples;
}

// Undoes the roff escapes the manual's examples use.
std::string unroff(const std::string& text) {
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 2, "\\-") == 0) {
      plain += '-';
      ++i;
    } else if (text.compare(i, 4, "\\(aq") == 0) {
      plain += '\'';
      i += 3;
    } else if (text.compare(i, 2, "\\e") == 0) {
      plain += '\\';
      ++i;
    } else {
      plain += text[i];
    }
  }
  return plain;
}

// Whether an example runs on a matrix of 25 x 25 or larger (a file named
// examples/...-25.txt or more), whose expansion takes about a second: such
// examples run with the slow tests.
bool large(const Example& example) {
  const std::string& command = example.command;
  for (std::size_t at = command.find("examples/"); at != std::string::npos;
       at = command.find("examples/", at + 1)) {
    const std::size_t end = command.find(".txt", at);
    const std::size_t dash = command.rfind('-', end);
    if (end == std::string::npos || dash == std::string::npos || dash < at) continue;
    if (std::atoi(command.substr(dash + 1, end - dash - 1).c_str()) >= 25) return true;
  }
  return false;
}

std::vector<Example> readme_examples() {
  return examples_in(lines_of(source_dir() + "/README.md"), "```console", "```");
}

std::vector<Example> manual_examples() {
  std::vector<Example> examples;
  for (auto& example : examples_in(lines_of(source_dir() + "/doc/quolvend.1"), ".EX", ".EE")) {
    examples.push_back({unroff(example.command), unroff(example.output)});
  }
  return examples;
}

// Runs the examples that are `large` or not, at least `at_least` of them.
void check(const std::vector<Example>& examples, bool which, std::size_t at_least) {
  std::size_t checked = 0;
  for (const auto& example : examples) {
    if (large(example) != which) continue;
    ++checked;
    Invocation in;
    in.dir = source_dir();
    EXPECT_EQ(run_shell(example.command, in).out, example.output) << "$ " << example.command;
  }
  EXPECT_GE(checked, at_least);
}

TEST(Documentation, ReadmeExamplesShowRealOutput) { check(readme_examples(), false, 8); }

TEST(Documentation, ManualExamplesShowRealOutput) { check(manual_examples(), false, 10); }

TEST(Documentation, LargeExamplesShowRealOutput) {
  check(readme_examples(), true, 2);
  check(manual_examples(), true, 2);
}

}  // namespace
}  // namespace quolvend::testing

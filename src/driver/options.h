#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/native.h"

// What a command line that asks about the tool, or that the tool cannot take, gets at once.
struct OptionAnswer {
  std::string out;  // for standard output
  std::string err;  // for the error stream
  int status = 0;
};

// Reads the options of a command line where the system's programs take options, as GNU's
// getopt_long does: -h or --help and -V or --version (or any unique abbreviation, --vers) are
// answered; `--` ends the options and is dropped from `args`; any other argument before it that
// starts with '-' (but "-" alone) is refused with getopt_long's message and status 2. Nothing
// when every remaining argument is a replay or folder; with OptionSyntax::kNone all of them
// always are.
std::optional<OptionAnswer> readOptions(std::vector<std::string>* args, OptionSyntax syntax);

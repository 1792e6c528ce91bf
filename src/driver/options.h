#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/native.h"

// The text that answers a command line asking about the tool rather than naming replays:
// `--help` (the usage) or `--version`, each only as the sole argument and only where the
// system's programs take options. Nothing for every other command line: all of it is replays.
std::optional<std::string> optionAnswer(const std::vector<std::string>& args, OptionSyntax syntax);

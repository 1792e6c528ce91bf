#include "driver/options.h"

#include "naming/tokens.h"

namespace {

constexpr const char* kUsage =
    "Usage: reprename REPLAY|FOLDER...\n"
    "       reprename --help | --version\n"
    "\n"
    "Renames the replay files (.rep, replay format version 1.11) of a two-player versus game\n"
    "from facts in their headers. A folder stands for the .rep files directly in it.\n"
    "\n"
    "It asks two questions, once for the whole run (the prompts are in Japanese):\n"
    "  1. the destination folder; Enter keeps the folder of the first replay;\n"
    "  2. the file-name format; Enter gives the replay's own name (/n), ? lists the tokens.\n"
    "\n"
    "Tokens of the format:\n";

constexpr const char* kUsageEnd =
    "For example, /d_/1vs/2 gives 1231_KovvsDru.rep.\n"
    "\n"
    "A name that is taken gets the first free number (abc0.rep, abc1.rep, ...); no file is\n"
    "ever replaced. Arguments after -- are replays whatever they start with, and a replay\n"
    "really named --help is reached as ./--help too.\n"
    "\n"
    "The manual page, man reprename, gives every prompt and message in English.\n";

constexpr const char* kVersion =
    "reprename " REPRENAME_VERSION
    "\n"
    "Copyright (C) 2026 The reprename developers.\n"
    "License MIT: <https://opensource.org/licenses/MIT>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.\n";

}  // namespace

std::optional<OptionAnswer> readOptions(std::vector<std::string>* args, OptionSyntax syntax,
                                        const std::function<bool(const std::string&)>& exists) {
  if (syntax != OptionSyntax::kOptions) return std::nullopt;
  for (std::size_t i = 0; i < args->size(); ++i) {
    const std::string& arg = (*args)[i];
    if (arg == "--") {
      args->erase(args->begin() + static_cast<std::ptrdiff_t>(i));
      return std::nullopt;
    }
    if (arg == "--help") return OptionAnswer{kUsage + usageTokenLines() + kUsageEnd, "", 0};
    if (arg == "--version") return OptionAnswer{kVersion, "", 0};
    if (arg.size() > 1 && arg[0] == '-' && !exists(arg)) {
      return OptionAnswer{"",
                          "reprename: unrecognized option '" + arg +
                              "'\nTry 'reprename --help' for more information.\n",
                          2};
    }
  }
  return std::nullopt;
}

#include "driver/options.h"

#include "naming/tokens.h"

namespace {

constexpr const char* kUsage =
    "Usage: reprename REPLAY|FOLDER...\n"
    "       reprename -h|--help | -V|--version\n"
    "\n"
    "Renames the replay files (.rep, replay format version 1.11) of a two-player\n"
    "versus game from facts in their headers. A folder stands for the .rep files\n"
    "directly in it.\n"
    "\n"
    "It asks two questions, once for the whole run (the prompts are in Japanese):\n"
    "  1. the destination folder; Enter keeps the folder of the first replay (the\n"
    "     current folder, ./, for a replay named without one);\n"
    "  2. the file-name format; Enter gives the replay's own name (/n), ? lists\n"
    "     the tokens.\n"
    "\n"
    "Tokens of the format:\n";

constexpr const char* kUsageEnd =
    "For example, /d_/1vs/2 gives 1231_KovvsDru.rep.\n"
    "\n"
    "A name that is taken gets the first free number (abc0.rep, abc1.rep, ...);\n"
    "no file is ever replaced. Arguments after -- are replays whatever they start\n"
    "with, and a replay really named -x.rep or --help is reached as ./-x.rep or\n"
    "./--help too.\n"
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

namespace {

// The options, as getopt_long takes them: a long name, and a letter.
struct Option {
  std::string_view name;
  char letter;
};
constexpr Option kOptions[] = {{"help", 'h'}, {"version", 'V'}};

OptionAnswer answerTo(const Option& option) {
  if (option.letter == 'h') return OptionAnswer{kUsage + usageTokenLines() + kUsageEnd, "", 0};
  return OptionAnswer{kVersion, "", 0};
}

OptionAnswer refused(const std::string& why) {
  return OptionAnswer{"", "reprename: " + why + "\nTry 'reprename --help' for more information.\n",
                      2};
}

// A long option, "--name" or "--name=value", by its name or a unique abbreviation of it.
OptionAnswer longOption(const std::string& arg) {
  const std::size_t equals = arg.find('=');
  const std::string_view name =
      std::string_view(arg).substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
  std::vector<const Option*> matches;
  for (const Option& option : kOptions) {
    if (option.name == name) {
      matches = {&option};
      break;
    }
    if (option.name.substr(0, name.size()) == name) matches.push_back(&option);
  }
  if (matches.empty()) return refused("unrecognized option '" + arg + "'");
  if (matches.size() > 1) {
    std::string why = "option '--" + std::string(name) + "' is ambiguous; possibilities:";
    for (const Option* option : matches) why += " '--" + std::string(option->name) + "'";
    return refused(why);
  }
  if (equals != std::string::npos) {
    return refused("option '--" + std::string(matches.front()->name) +
                   "' doesn't allow an argument");
  }
  return answerTo(*matches.front());
}

}  // namespace

std::optional<OptionAnswer> readOptions(std::vector<std::string>* args, OptionSyntax syntax) {
  if (syntax != OptionSyntax::kOptions) return std::nullopt;
  for (std::size_t i = 0; i < args->size(); ++i) {
    const std::string& arg = (*args)[i];
    if (arg == "--") {
      args->erase(args->begin() + static_cast<std::ptrdiff_t>(i));
      return std::nullopt;
    }
    if (arg.rfind("--", 0) == 0) return longOption(arg);
    if (arg.size() < 2 || arg[0] != '-') continue;  // a replay or folder, "-" too
    // Short options, one letter each, the first that asks or is unknown answering.
    const Option* option = nullptr;
    for (const Option& known : kOptions) {
      if (known.letter == arg[1]) option = &known;
    }
    if (option == nullptr) return refused("invalid option -- '" + arg.substr(1, 1) + "'");
    return answerTo(*option);
  }
  return std::nullopt;
}

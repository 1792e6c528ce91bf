#include "portable/command_line.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> splitCommandLine(std::string_view line) {
  std::vector<std::string> args;
  std::size_t i = 0;

  // The program's path takes no escapes: Windows paths cannot hold a double quote.
  std::string program;
  if (i < line.size() && line[i] == '"') {
    std::size_t end = line.find('"', 1);
    program = std::string(line.substr(1, end == std::string_view::npos ? end : end - 1));
    i = end == std::string_view::npos ? line.size() : end + 1;
  }
  while (i < line.size() && !isBlank(line[i])) program.push_back(line[i++]);
  args.push_back(program);

  for (;;) {
    while (i < line.size() && isBlank(line[i])) ++i;
    if (i >= line.size()) break;
    std::string arg;
    bool quoted = false;
    while (i < line.size() && (quoted || !isBlank(line[i]))) {
      const char c = line[i];
      if (c == '\\' && i + 1 < line.size() && line[i + 1] == '"') {
        arg.push_back('"');
        i += 2;
      } else if (c == '"') {
        quoted = !quoted;
        ++i;
      } else {
        arg.push_back(c);
        ++i;
      }
    }
    args.push_back(arg);
  }
  return args;
}

std::vector<std::string> argumentsAfterProgram(std::string_view line) {
  std::vector<std::string> args = splitCommandLine(line);
  args.erase(args.begin());
  return args;
}

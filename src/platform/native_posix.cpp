#include "platform/native.h"

char nativePathSeparator() { return '/'; }

std::vector<std::string> nativeArguments(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return args;
}

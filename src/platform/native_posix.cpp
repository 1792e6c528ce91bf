#include <stdlib.h>

#include "platform/native.h"

PathStyle nativePathStyle() { return PathStyle::kPosix; }

OptionSyntax nativeOptionSyntax() { return OptionSyntax::kOptions; }

std::string nativeHomeFolder() {
  const char* home = ::getenv("HOME");
  return home != nullptr ? home : "";
}

std::vector<std::string> nativeArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

#include "platform/native.h"

PathStyle nativePathStyle() { return PathStyle::kPosix; }

OptionSyntax nativeOptionSyntax() { return OptionSyntax::kOptions; }

std::vector<std::string> nativeArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

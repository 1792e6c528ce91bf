#include "platform/native.h"

PathStyle nativePathStyle() { return PathStyle::kPosix; }

OptionSyntax nativeOptionSyntax() { return OptionSyntax::kOptions; }

NativeCommandLine nativeCommandLine(int argc, char** argv) {
  NativeCommandLine commandLine;
  for (int i = 1; i < argc; ++i) commandLine.arguments.emplace_back(argv[i]);
  return commandLine;
}

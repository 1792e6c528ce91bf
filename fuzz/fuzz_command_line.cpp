// The Windows command-line splitter on arbitrary lines.
#include <cstddef>
#include <cstdint>
#include <string>

#include "portable/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> args = splitCommandLine(line);
  if (args.empty()) __builtin_trap();
  std::size_t total = 0;
  for (const std::string& arg : args) total += arg.size();
  if (total > line.size()) __builtin_trap();  // arguments only ever lose bytes
  if (argumentsAfterProgram(line).size() != args.size() - 1) __builtin_trap();
  return 0;
}

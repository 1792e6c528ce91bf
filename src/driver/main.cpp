#include <memory>

#include "driver/renamer.h"
#include "platform/console.h"
#include "platform/file_system.h"
#include "platform/native.h"

int main(int argc, char** argv) {
  std::unique_ptr<Console> console = makeSystemConsole();
  std::unique_ptr<FileSystem> fs = makeSystemFileSystem();
  return runRenamer(nativeArguments(argc, argv), *console, *fs, nativePathSeparator());
}

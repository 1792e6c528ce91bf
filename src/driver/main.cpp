#include <memory>

#include "driver/command_line.h"
#include "driver/renamer.h"
#include "platform/console.h"
#include "platform/file_system.h"
#include "platform/native.h"

int main(int argc, char** argv) {
  std::unique_ptr<Console> console = makeSystemConsole();
  std::unique_ptr<FileSystem> fs = makeSystemFileSystem();
  return runRenamer(replayArguments(nativeCommandLine(argc, argv)), *console, *fs,
                    nativePathStyle());
}

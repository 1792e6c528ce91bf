#include <memory>

#include "driver/fatal.h"
#include "driver/options.h"
#include "driver/renamer.h"
#include "platform/console.h"
#include "platform/file_system.h"
#include "platform/native.h"
#include "platform/workers.h"

int main(int argc, char** argv) {
  std::unique_ptr<Console> console = makeSystemConsole();
  const std::vector<std::string> args = nativeArguments(argc, argv);
  if (std::optional<std::string> answer = optionAnswer(args, nativeOptionSyntax())) {
    console->write(*answer);
    return kExitSuccess;
  }
  std::unique_ptr<FileSystem> fs = makeSystemFileSystem();
  std::unique_ptr<StopRequests> stops = makeSystemStopRequests();
  std::unique_ptr<Workers> workers = makeSystemWorkers();
  return runRenamer(args, *console, *fs, *stops, *workers, nativePathStyle());
}

#include <memory>

#include "driver/ending.h"
#include "driver/options.h"
#include "driver/renamer.h"
#include "platform/console.h"
#include "platform/file_system.h"
#include "platform/native.h"
#include "platform/system_workers.h"

int main(int argc, char** argv) {
  std::unique_ptr<StopRequests> stops = makeSystemStopRequests();
  std::unique_ptr<Console> console = makeSystemConsole(*stops);
  std::vector<std::string> args = nativeArguments(argc, argv);
  std::unique_ptr<FileSystem> fs = makeSystemFileSystem();
  if (std::optional<OptionAnswer> answer = readOptions(&args, nativeOptionSyntax())) {
    console->write(answer->out);
    if (!answer->err.empty()) console->writeError(answer->err);
    console->flush();
    return console->writeFailure() && answer->status == 0 ? kExitStopped : answer->status;
  }
  std::unique_ptr<Workers> workers = makeSystemWorkers();
  return runRenamer(args, *console, *fs, *stops, *workers, nativePathStyle(), nativeHomeFolder());
}

#include "driver/fatal.h"

namespace {

const char* stopMessage(StopCode code) {
  switch (code) {
    case StopCode::kFileOpenError:
      return " -- File open error!!\n";
    case StopCode::kAbnormalFile:
      return "Kestrune1.11のリプレイファイルでないかまたは異常なファイルです\n";
    case StopCode::kCancelled:
      break;
  }
  return "";
}

}  // namespace

void pauseBeforeExit(Console& console) {
  console.write(" -- Press any key to exit --\n");
  console.waitForKey();
}

int fatalStop(Console& console, StopCode code) {
  console.write(stopMessage(code));
  pauseBeforeExit(console);
  return kExitStopped;
}

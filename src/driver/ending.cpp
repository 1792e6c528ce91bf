#include "driver/ending.h"

namespace {

const char* message(EarlyEnd end) {
  switch (end) {
    case EarlyEnd::kFileOpenError:
      return " -- File open error!!\n";
    case EarlyEnd::kAbnormalFile:
      return "Kestrune1.11のリプレイファイルでないかまたは異常なファイルです\n";
    case EarlyEnd::kCancelled:
      break;
  }
  return "";
}

}  // namespace

void pauseBeforeExit(Console& console) {
  console.write(" -- Press any key to exit --\n");
  console.waitForKey();
}

int fatalStop(Console& console, EarlyEnd end) {
  console.write(message(end));
  pauseBeforeExit(console);
  return kExitStopped;
}

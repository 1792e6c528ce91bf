#include <windows.h>

#include "platform/stop_requests.h"
#include "platform/system_calls_win32.h"

namespace {

// What a console program ends with when Ctrl+C ends it.
constexpr UINT kControlCExit = 0xC000013A;  // STATUS_CONTROL_C_EXIT

// The control event that came while files move, plus one; 0 while none has.
volatile LONG g_request = 0;
// Set by the main thread once it has finished, before the process ends.
HANDLE g_finished = nullptr;

bool isClose(LONG request) {
  const DWORD event = static_cast<DWORD>(request - 1);
  return request != 0 &&
         (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT);
}

// How long a closed window may keep the process: the system's deadline for a program that does
// not answer, 5 seconds unless set otherwise (HungAppTimeout for a closed window,
// WaitToKillTimeout for logoff and shutdown, as Microsoft's console documentation gives them),
// less a margin. Asking the system for them would load user32, which keeps logoff and shutdown
// from the handler; the defaults are taken instead.
constexpr DWORD kCloseWait = 5000 - 1000;

// Runs on a thread of the system's. Ctrl+C and Ctrl+Break are only noted. A closed window,
// logoff or shutdown end the process as soon as this returns, or at the system's deadline, so
// it waits within that deadline for the main thread to give up the copies in hand (removed, not
// finished) and write its lines.
BOOL WINAPI onStopRequest(DWORD event) {
  InterlockedCompareExchange(&g_request, static_cast<LONG>(event) + 1, 0);
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
    win32.WaitForSingleObject(g_finished, kCloseWait);
  }
  return TRUE;
}

class Win32StopRequests : public StopRequests {
 public:
  Win32StopRequests() {
    if (g_finished == nullptr) g_finished = win32.CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }

  // At the prompts and in the key wait the system's own handling ends the process.
  void hold(bool held) override {
    if (held == holding_) return;
    holding_ = held;
    win32.SetConsoleCtrlHandler(onStopRequest, held ? TRUE : FALSE);
  }

  bool requested() override { return g_request != 0; }

  bool closing() override { return isClose(g_request); }

  int endAsRequested() override {
    win32.SetEvent(g_finished);
    ExitProcess(kControlCExit);  // not through the table: it never returns
  }

 private:
  bool holding_ = false;
};

}  // namespace

std::unique_ptr<StopRequests> makeSystemStopRequests() {
  return std::make_unique<Win32StopRequests>();
}

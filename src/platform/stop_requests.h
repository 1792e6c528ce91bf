#pragma once

#include <memory>

// Requests to end the run from outside: Ctrl+C, a closed terminal or console window, kill, logoff.
// While they are held (while files move) a request only asks the run to stop once the replay in
// hand is done or undone; at the prompts and in the key wait they end the process at once, as
// the system does.
class StopRequests {
 public:
  virtual ~StopRequests() = default;

  virtual void hold(bool held) = 0;
  // True once a held request has come. Asked after each replay, and by the platform inside
  // long operations (a copy), which give up at once when it is true.
  virtual bool requested() = 0;
  // True once the request is one after which the system ends the process within seconds,
  // whatever it does (a closed console window, logoff or shutdown on Windows): copies in hand
  // are then given up rather than finished.
  virtual bool closing() { return false; }
  // Ends the process as the request would have ended it had it not been held (by the same
  // signal on Linux; on Windows with the status of a Ctrl+C). The console must be flushed
  // first. Returns only where nothing can end the process, with the exit status to end with.
  virtual int endAsRequested() = 0;
};

// Holds the requests for as long as it lives.
class HeldStops {
 public:
  explicit HeldStops(StopRequests& stops) : stops_(stops) { stops_.hold(true); }
  ~HeldStops() { stops_.hold(false); }
  HeldStops(const HeldStops&) = delete;
  HeldStops& operator=(const HeldStops&) = delete;

 private:
  StopRequests& stops_;
};

// The process's own requests.
std::unique_ptr<StopRequests> makeSystemStopRequests();

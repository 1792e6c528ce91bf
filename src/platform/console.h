#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// The console dialogue's view of the terminal: byte strings out, answer lines in, one key press.
// Output to a file or pipe is held until this much is pending, or a flush asks for it.
inline constexpr std::size_t kOutputBufferBytes = 1 << 16;

class Console {
 public:
  virtual ~Console() = default;

  // Writes bytes to standard output unchanged; on Windows each line feed becomes CR LF.
  virtual void write(std::string_view text) = 0;
  // Writes to the error stream; everything written to standard output before is shown first.
  virtual void writeError(std::string_view text) = 0;
  // Reads one answer line without its line feed and carriage returns. Whatever was written
  // before is visible first. Returns false at the end of input with nothing read.
  virtual bool readLine(std::string* line) = 0;
  // Waits for one key press on the terminal itself, whatever standard input is; returns at once
  // when there is no terminal, or when the process is not in its foreground.
  virtual void waitForKey() = 0;
  // Writes out whatever output is still pending (a redirected stream is written in blocks).
  virtual void flush() = 0;
  // The system's text for the first write to either stream that failed (a full disk, a closed
  // stream or pipe); nothing while every write has reached its stream.
  virtual std::optional<std::string> writeFailure() const = 0;
};

class StopRequests;

// The process's own console. Once `stops` say the console window is closing (Windows), it is
// written to no more; a redirected stream still is.
std::unique_ptr<Console> makeSystemConsole(StopRequests& stops);

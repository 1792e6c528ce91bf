#include <windows.h>

#include <string>

#include "platform/answer_reader.h"
#include "platform/console.h"
#include "platform/key_wait_keys.h"

namespace {

bool isConsole(HANDLE handle) {
  DWORD mode;
  return GetConsoleMode(handle, &mode) != 0;
}

void writeAll(HANDLE handle, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD chunk = bytes.size() > 0x10000 ? 0x10000 : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data(), chunk, &written, nullptr) || written == 0) return;
    bytes.remove_prefix(written);
  }
}

// Console text ends its lines with CR LF; the bytes themselves go out unchanged, in the
// console's own code page.
std::string withCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (char c : text) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

class Win32Console : public Console {
 public:
  Win32Console()
      : out_(GetStdHandle(STD_OUTPUT_HANDLE)),
        err_(GetStdHandle(STD_ERROR_HANDLE)),
        in_(GetStdHandle(STD_INPUT_HANDLE)),
        outIsConsole_(isConsole(out_)) {}
  ~Win32Console() override { flush(); }

  void write(std::string_view text) override {
    if (outIsConsole_) {
      writeAll(out_, withCrLf(text));
      return;
    }
    pending_.append(withCrLf(text));
    if (pending_.size() >= kFlushSize) flush();
  }

  void writeError(std::string_view text) override {
    flush();
    writeAll(err_, withCrLf(text));
  }

  bool readLine(std::string* line) override {
    flush();
    const HANDLE in = in_;
    auto readMore = [in] {
      char chunk[4096];
      DWORD got = 0;
      if (!ReadFile(in, chunk, sizeof chunk, &got, nullptr)) got = 0;
      return std::string(chunk, got);
    };
    return nextAnswer(&input_, CtrlZ::kEndsInput, readMore, line);
  }

  void waitForKey() override {
    flush();
    // The console's keyboard itself, so the wait works when standard input is redirected.
    HANDLE keyboard =
        CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (keyboard == INVALID_HANDLE_VALUE) return;
    DWORD saved;
    if (!GetConsoleMode(keyboard, &saved)) {
      CloseHandle(keyboard);
      return;
    }
    SetConsoleMode(keyboard, 0);
    for (;;) {
      INPUT_RECORD record;
      DWORD got = 0;
      if (!ReadConsoleInputA(keyboard, &record, 1, &got) || got == 0) break;
      if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) continue;
      if (keyEndsWait(record.Event.KeyEvent.wVirtualKeyCode,
                      record.Event.KeyEvent.uChar.AsciiChar)) {
        break;
      }
    }
    SetConsoleMode(keyboard, saved);
    CloseHandle(keyboard);
  }

 private:
  static constexpr std::size_t kFlushSize = 1 << 16;

  void flush() {
    writeAll(out_, pending_);
    pending_.clear();
  }

  const HANDLE out_;
  const HANDLE err_;
  const HANDLE in_;
  const bool outIsConsole_;
  std::string pending_;
  AnswerBuffer input_;
};

}  // namespace

std::unique_ptr<Console> makeSystemConsole() { return std::make_unique<Win32Console>(); }

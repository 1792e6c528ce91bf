#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/console.h"
#include "platform/handle_win32.h"
#include "platform/stop_requests.h"
#include "platform/system_calls_win32.h"
#include "platform/wide_win32.h"
#include "portable/answer_reader.h"
#include "portable/key_wait_keys.h"
#include "portable/windows_errors.h"

namespace {

// What the tool writes to, and reads from, a file or pipe: Shift-JIS, whatever Windows' own
// code pages are, so that logs and scripts see the same bytes on every Windows.
constexpr UINT kRedirectedCodePage = 932;

bool isConsole(HANDLE handle) {
  DWORD mode;
  return win32.GetConsoleMode(handle, &mode) != 0;
}

// Writes all of `bytes`; returns 0 or the system error of the write that failed.
DWORD writeAll(HANDLE handle, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD chunk = bytes.size() > 0x10000 ? 0x10000 : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!win32.WriteFile(handle, bytes.data(), chunk, &written, nullptr)) return GetLastError();
    if (written == 0) return ERROR_WRITE_FAULT;
    bytes.remove_prefix(written);
  }
  return 0;
}

bool isMissing(HANDLE handle) { return handle == nullptr || handle == INVALID_HANDLE_VALUE; }

// The text in UTF-16 with each line feed as CR LF.
std::wstring withCrLf(std::string_view utf8) {
  const std::wstring wide = widen(utf8);
  std::wstring out;
  out.reserve(wide.size() + 8);
  for (wchar_t c : wide) {
    if (c == L'\n') out.push_back(L'\r');
    out.push_back(c);
  }
  return out;
}

// Unicode straight to the console, so Japanese shows right whatever its code page is.
void writeConsole(HANDLE handle, std::string_view utf8) {
  const std::wstring text = withCrLf(utf8);
  std::wstring_view rest = text;
  while (!rest.empty()) {
    std::size_t n = std::min<std::size_t>(rest.size(), 8192);
    if (n < rest.size() && IS_HIGH_SURROGATE(rest[n - 1])) --n;  // a pair stays together
    DWORD written = 0;
    if (!win32.WriteConsoleW(handle, rest.data(), static_cast<DWORD>(n), &written, nullptr) ||
        written == 0) {
      return;
    }
    rest.remove_prefix(written);
  }
}

// Shift-JIS bytes with CR LF. A character without a Shift-JIS form becomes one '?', never a
// look-alike: a best-fit '¥' would read as a backslash.
std::string redirectedText(std::string_view utf8) {
  std::wstring wide = withCrLf(utf8);
  std::wstring bmp;
  bmp.reserve(wide.size());
  for (std::size_t i = 0; i < wide.size(); ++i) {
    if (IS_SURROGATE_PAIR(wide[i], i + 1 < wide.size() ? wide[i + 1] : 0)) {
      bmp.push_back(L'?');
      ++i;
    } else {
      bmp.push_back(IS_HIGH_SURROGATE(wide[i]) || IS_LOW_SURROGATE(wide[i]) ? L'?' : wide[i]);
    }
  }
  if (bmp.empty()) return std::string();
  const int length = static_cast<int>(bmp.size());
  int size = win32.WideCharToMultiByte(kRedirectedCodePage, WC_NO_BEST_FIT_CHARS, bmp.data(),
                                       length, nullptr, 0, "?", nullptr);
  std::string out(static_cast<std::size_t>(std::max(size, 0)), '\0');
  if (size > 0) {
    win32.WideCharToMultiByte(kRedirectedCodePage, WC_NO_BEST_FIT_CHARS, bmp.data(), length,
                              &out[0], size, "?", nullptr);
  }
  return out;
}

std::string fromRedirectedText(std::string_view bytes) {
  if (bytes.empty()) return std::string();
  const int length = static_cast<int>(bytes.size());
  int size = win32.MultiByteToWideChar(kRedirectedCodePage, 0, bytes.data(), length, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(std::max(size, 0)), L'\0');
  if (size > 0)
    win32.MultiByteToWideChar(kRedirectedCodePage, 0, bytes.data(), length, &wide[0], size);
  return narrow(wide);
}

// Keys pressed before the wait began (a second Enter at the last prompt) must not end it. Under
// Wine they can still be on their way from the terminal, so what comes at once goes too. Only
// events already queued are read, so this never waits for a key itself.
void discardTypedAhead(HANDLE keyboard) {
  win32.FlushConsoleInputBuffer(keyboard);
  for (int round = 0; round < 3; ++round) {
    win32.Sleep(50);
    DWORD queued = 0;
    while (win32.GetNumberOfConsoleInputEvents(keyboard, &queued) && queued > 0) {
      INPUT_RECORD records[64];
      DWORD got = 0;
      if (!win32.ReadConsoleInputW(keyboard, records, queued < 64 ? queued : 64, &got) ||
          got == 0) {
        return;
      }
    }
  }
}

class Win32Console final : public Console {
 public:
  explicit Win32Console(StopRequests& stops)
      : stops_(stops),
        out_(win32.GetStdHandle(STD_OUTPUT_HANDLE)),
        err_(win32.GetStdHandle(STD_ERROR_HANDLE)),
        in_(win32.GetStdHandle(STD_INPUT_HANDLE)),
        outIsConsole_(isConsole(out_)),
        errIsConsole_(isConsole(err_)),
        inIsConsole_(isConsole(in_)) {
    if (isMissing(out_) || isMissing(err_)) failed(ERROR_INVALID_HANDLE);
  }
  ~Win32Console() override { flush(); }

  void write(std::string_view text) override {
    if (outIsConsole_) {
      if (!stops_.closing()) writeConsole(out_, text);
      return;
    }
    pending_.append(redirectedText(text));
    if (pending_.size() >= kOutputBufferBytes) flush();
  }

  void writeError(std::string_view text) override {
    flush();
    if (errIsConsole_) {
      if (!stops_.closing()) writeConsole(err_, text);
    } else {
      failed(writeAll(err_, redirectedText(text)));
    }
  }

  bool readLine(std::string* line) override {
    flush();
    if (inIsConsole_) {
      if (!nextAnswer(
              &input_, CtrlZ::kEndsInput, [this] { return readConsole(); }, line)) {
        return false;
      }
    } else {
      // Shift-JIS never uses a line feed, carriage return, Ctrl+Z or NUL inside a character,
      // so the answer is cut from the bytes as they come and converted whole.
      const HANDLE in = in_;
      auto readMore = [in] {
        char chunk[4096];
        DWORD got = 0;
        if (!win32.ReadFile(in, chunk, sizeof chunk, &got, nullptr)) got = 0;
        return std::string(chunk, got);
      };
      if (!nextAnswer(&input_, CtrlZ::kEndsInput, readMore, line)) return false;
      *line = fromRedirectedText(*line);
    }
    *line = withoutEnclosingQuotes(std::move(*line));
    return true;
  }

  void waitForKey() override {
    flush();
    // The console's keyboard itself, so the wait works when standard input is redirected.
    const Handle keyboard(win32.CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
    DWORD saved;
    if (!keyboard || !win32.GetConsoleMode(keyboard.get(), &saved)) return;
    win32.SetConsoleMode(keyboard.get(), 0);
    discardTypedAhead(keyboard.get());
    for (;;) {
      INPUT_RECORD record;
      DWORD got = 0;
      if (!win32.ReadConsoleInputW(keyboard.get(), &record, 1, &got) || got == 0) break;
      if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) continue;
      if (keyEndsWait(record.Event.KeyEvent.wVirtualKeyCode,
                      static_cast<char16_t>(record.Event.KeyEvent.uChar.UnicodeChar))) {
        break;
      }
    }
    win32.SetConsoleMode(keyboard.get(), saved);
  }

  // Only redirected output waits here; a file or pipe outlives a closed console window.
  void flush() override {
    if (pending_.empty()) return;
    failed(writeAll(out_, pending_));
    pending_.clear();
  }

  std::optional<std::string> writeFailure() const override {
    if (writeError_ == 0) return std::nullopt;
    return windowsErrorText(writeError_);
  }

 private:
  void failed(DWORD error) {
    if (writeError_ == 0) writeError_ = error;
  }
  DWORD writeError_ = 0;

  // The next typed text as UTF-8; empty at the end of input.
  std::string readConsole() {
    for (;;) {
      wchar_t chunk[1024];
      DWORD got = 0;
      SetLastError(ERROR_SUCCESS);
      if (!win32.ReadConsoleW(in_, chunk, 1024, &got, nullptr)) got = 0;
      if (got == 0) {
        // Ctrl+C aborts the read while its handler ends the process: that is no end of input.
        if (GetLastError() == ERROR_OPERATION_ABORTED) continue;
        return utf16ChunkToUtf8(u"", &heldBack_);
      }
      std::u16string_view text(reinterpret_cast<const char16_t*>(chunk), got);
      std::string utf8 = utf16ChunkToUtf8(text, &heldBack_);
      if (!utf8.empty()) return utf8;
    }
  }

  StopRequests& stops_;  // whose closing() says the console window is going away
  const HANDLE out_;
  const HANDLE err_;
  const HANDLE in_;
  const bool outIsConsole_;
  const bool errIsConsole_;
  const bool inIsConsole_;
  std::string pending_;
  AnswerBuffer input_;
  char16_t heldBack_ = 0;
};

}  // namespace

std::unique_ptr<Console> makeSystemConsole(StopRequests& stops) {
  return std::make_unique<Win32Console>(stops);
}

// The Windows fault table: runs reprename_faults.exe (beside this exe) on replays made in a fresh
// folder, once per row, with one system call failed, or the process ended or stopped at it, and
// checks what became of every replay: what the row says (moved, numbered, stayed with its text),
// and always that every replay is whole at exactly one path after a failure (at one or both after
// a kill), that nothing partial is under a .rep name, that no copy is left behind after a failure,
// and that every "Rename successful!" is true. Runs under Wine and on a real Windows alike:
//   fault_table.exe [--sweep N] [--only TEXT] [OTHER_DRIVE_FOLDER]
// --sweep also fails and kills every call of the list below at each of its first N invocations;
// --only runs only the runs whose faults name TEXT.
// OTHER_DRIVE_FOLDER, a folder on another volume, is where moves to another drive go; without it
// those scenes are skipped. Exit status 0 when every check holds.
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "replay_writer.h"

namespace {

namespace fs = std::filesystem;

enum class Scene {
  kOneDrive,    // src\ to dest\ on one drive
  kOtherDrive,  // src\ to the other drive
  kReadOnly,    // the same, the first replay read-only
  kTaken,       // the same, the first replay's name taken there
  kFolder,      // the folder src\ dropped, renamed in place
  kGroup,       // five replays to the other drive: one group of copies
};
const char* const kSceneNames[] = {"one drive",  "other drive", "read-only",
                                   "taken name", "folder",      "group"};

struct Row {
  const char* faults;  // REPRENAME_FAULTS
  Scene scene;
  const char* outcome;     // what becomes of each replay: M moved, N numbered, S stays with
                           // `shown`, X stops the run, - stays without a line, m moved without one
  const char* shown = "";  // the text of the failures
  const char* emulate = "";  // REPRENAME_EMULATE
};

constexpr const char* kEio = "Input/output error";
constexpr const char* kDenied = "Permission denied";
constexpr const char* kFull = "No space left on device";
constexpr const char* kBusy = "Device or resource busy";

// Each row runs as on Windows 10 (REPRENAME_EMULATE=modern gives Wine what it lacks), unless it
// says otherwise. The calls are counted as such a run makes them: to another drive, for the
// first replay r0, SetFileInformationByHandle 1 is its rename tried, 2 its copy's attributes, 5
// the copy's name, 8 the source's deletion; GetFileInformationByHandleEx 4 the source looked at
// before its deletion; ReadFile 5 and WriteFile 3 its data copied.
const Row kRows[] = {
    // At its turn: a replay that does not open, turns out unreadable, or does not move.
    {"CreateFileW@r0.rep:2:access-denied", Scene::kOneDrive, "SMM", kDenied},
    {"CreateFileW@r0.rep:1:access-denied", Scene::kOneDrive, "X--"},
    {"CreateFileW@r1.rep:1:io-error", Scene::kFolder, "MX-"},
    {"NtQueryInformationFile:1:io-error", Scene::kOneDrive, "MMM"},  // looked at again, moved
    {"SetFileInformationByHandle:1:io-error", Scene::kOneDrive, "SMM", kEio},
    {"SetFileInformationByHandle:1:already-exists", Scene::kOneDrive, "SMM", "File already exists"},
    {"SetFileInformationByHandle:1:write-protected", Scene::kOneDrive, "SMM",
     "Read-only file system"},
    {"", Scene::kTaken, "NMM"},
    {"", Scene::kFolder, "MMM"},
    // To another drive: the copy made, proven, flushed, named, and only then the source gone.
    {"", Scene::kOtherDrive, "MMM"},
    {"", Scene::kGroup, "MMMMM"},
    {"", Scene::kGroup, "MMMMM", "", "win7"},
    {"", Scene::kReadOnly, "MMM"},
    {"", Scene::kReadOnly, "MMM", "", "win7"},
    {"SetFileInformationByHandle:1:io-error", Scene::kOtherDrive, "SMM", kEio},
    {"SetFileInformationByHandle:2:io-error", Scene::kOtherDrive, "SMM", kEio},
    {"CreateFileW@.tmp:1:disk-full", Scene::kOtherDrive, "SMM", kFull},
    {"WriteFile:3:disk-full", Scene::kOtherDrive, "SMM", kFull},
    {"ReadFile:5:crc", Scene::kOtherDrive, "SMM", kEio},
    {"NtFlushBuffersFileEx:1:io-error", Scene::kOtherDrive, "SSS", kEio},
    {"NtFlushBuffersFileEx:1:not-supported", Scene::kOtherDrive, "MMM"},
    {"FlushFileBuffers:1:io-error", Scene::kOtherDrive, "SSS", kEio},
    {"SetFileInformationByHandle:5:already-exists", Scene::kOtherDrive, "SMM",
     "File already exists"},
    {"CreateFileW@fault-dest:1:io-error", Scene::kOtherDrive, "SSS", kEio},
    {"CreateFileW@fault-dest:1:access-denied", Scene::kOtherDrive, "MMM"},  // each copy flushed
    {"GetFileInformationByHandleEx:4:io-error", Scene::kOtherDrive, "SMM", kEio},
    {"SetFileInformationByHandle:8:access-denied", Scene::kOtherDrive, "SMM", kDenied},
    {"SetFileInformationByHandle:9:access-denied", Scene::kOtherDrive, "SMM", kDenied, "win7"},
    // Encrypted replays go only where they stay encrypted; filtered ones are read through their
    // filter.
    {"", Scene::kOtherDrive, "SSS", "Operation not supported", "modern,encrypted"},
    {"", Scene::kOtherDrive, "MMM", "", "modern,encrypted,encrypting"},
    {"", Scene::kOneDrive, "MMM", "", "modern,encrypted"},
    {"", Scene::kOtherDrive, "MMM", "", "modern,filtered"},
    {"", Scene::kOneDrive, "MMM", "", "modern,filtered"},
    {"CreateFileW@r0.rep:3:access-denied", Scene::kOneDrive, "SMM", kDenied, "modern,filtered"},
    // Links move as links: a copy by CopyFileEx, the source removed while it is that link. For
    // r0: CreateFileW 3 on its path follows it, 4 opens it to be removed, NtQueryInformationFile 4
    // looks at it then.
    {"", Scene::kOneDrive, "MMM", "", "modern,linked"},
    {"", Scene::kOtherDrive, "MMM", "", "modern,linked"},
    {"CreateFileW@r0.rep:3:access-denied", Scene::kOtherDrive, "MMM", "", "modern,linked"},
    {"CreateFileW@r0.rep:4:access-denied", Scene::kOtherDrive, "SMM", kDenied, "modern,linked"},
    {"NtQueryInformationFile:4:io-error", Scene::kOtherDrive, "SMM", kBusy, "modern,linked"},
    {"CopyFileExW:1:disk-full", Scene::kOtherDrive, "SMM", kFull, "modern,linked"},
    // Named streams go where the target holds them, and a stream that cannot be read fails the
    // copy.
    {"", Scene::kOtherDrive, "MMM", "", "modern,streams"},
    {"CreateFileW@$DATA:1:io-error", Scene::kOtherDrive, "SMM", kEio, "modern,streams"},
    {"CreateFileW@$DATA:2:invalid-parameter", Scene::kOtherDrive, "MMM", "", "modern,streams"},
    // A source written meanwhile stays; a copy whose name cannot be made, nor its folder flushed,
    // is undone.
    {"GetFileInformationByHandleEx:4:later", Scene::kOtherDrive, "SMM", kBusy},
    {"CreateFileW@.tmp:1+:already-exists", Scene::kOtherDrive, "SSS", "File already exists"},
    {"CreateFileW@fault-dest:1:access-denied,FlushFileBuffers:2:io-error", Scene::kOtherDrive,
     "SSS", kEio},
    // Without POSIX deletion, a read-only source loses the attribute for its deletion, and gets it
    // back if that fails.
    {"SetFileInformationByHandle:9:access-denied", Scene::kReadOnly, "SMM", kDenied, "win7"},
    {"SetFileInformationByHandle:10:access-denied", Scene::kReadOnly, "SMM", kDenied, "win7"},
    // The output lost ends the run.
    {"WriteFile:1:disk-full", Scene::kOneDrive, "---"},
    // Console stops: the replay in hand finishes and the run ends without a summary; a closed
    // window gives up the copies in hand.
    {"SetFileInformationByHandle:1:ctrl-c", Scene::kOneDrive, "M--"},
    {"CreateFileW@.tmp:2:ctrl-c", Scene::kGroup, "MS---", "Interrupted system call"},
    {"FlushFileBuffers:1:close", Scene::kGroup, "SSSSS", "Interrupted system call"},
};

// The calls a sweep fails and kills in turn, with the errors that fit each.
const std::map<std::string, std::vector<std::string>> kSwept = {
    {"CreateFileW", {"access-denied", "sharing-violation", "disk-full", "io-error"}},
    {"CopyFileExW", {"access-denied", "disk-full"}},
    {"GetFullPathNameW", {"invalid-parameter"}},
    {"GetCurrentDirectoryW", {"invalid-parameter"}},
    {"GetStdHandle", {"invalid-parameter"}},
    {"CreateEventW", {"access-denied"}},
    {"ReadFile", {"io-error", "crc"}},
    {"WriteFile", {"disk-full", "io-error"}},
    {"GetFileInformationByHandle", {"io-error"}},
    {"GetFileInformationByHandleEx", {"io-error", "invalid-parameter"}},
    {"SetFileInformationByHandle", {"access-denied", "already-exists", "io-error"}},
    {"FlushFileBuffers", {"io-error", "disk-full"}},
    {"NtQueryInformationFile", {"io-error"}},
    {"NtFlushBuffersFileEx", {"io-error"}},
    {"GetFileAttributesW", {"access-denied"}},
    {"CloseHandle", {}},
};

// What a failure injected with `action` shows, where the tool passes it on.
const std::map<std::string, std::string> kShownFor = {
    {"access-denied", kDenied},
    {"sharing-violation", kDenied},
    {"disk-full", kFull},
    {"io-error", kEio},
    {"crc", kEio},
    {"invalid-parameter", "Invalid argument"},
    {"already-exists", "File already exists"},
};

std::wstring widened(const std::string& text) {
  return std::wstring(text.begin(), text.end());  // the table's texts are ASCII
}

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Removes `folder` and all in it, read-only files too.
void empty(const fs::path& folder) {
  std::error_code ignored;
  if (!fs::exists(folder, ignored)) return;
  for (const auto& entry : fs::recursive_directory_iterator(folder, ignored)) {
    SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  fs::remove_all(folder, ignored);
}

struct Run {
  std::string out, err;
  DWORD status = 0;
  bool timedOut = false;
  std::string fired;  // the plans that came true
};

// Reads everything from `pipe` into `text` until it closes.
void drain(HANDLE pipe, std::string* text) {
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) && got > 0) text->append(chunk, got);
}

// Runs `exe` with `args`, `input` on its standard input and `env` added to its environment.
// A kill it notes in `fired` is made then, as one from outside.
Run runExe(const fs::path& exe, const std::vector<std::string>& args, const std::string& input,
           const std::vector<std::pair<std::string, std::string>>& env, const fs::path& fired) {
  std::wstring line = L"\"" + exe.wstring() + L"\"";
  for (const std::string& arg : args) line += L" \"" + widened(arg) + L"\"";
  std::wstring block;
  for (const wchar_t* e = GetEnvironmentStringsW(); *e; e += wcslen(e) + 1) {
    const std::wstring one = e;
    bool replaced = false;
    for (const auto& [name, value] : env) replaced |= one.rfind(widened(name) + L"=", 0) == 0;
    if (!replaced) block += one + L'\0';
  }
  for (const auto& [name, value] : env) block += widened(name + "=" + value) + L'\0';
  block += L'\0';
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE in[2], out[2], err[2];
  CreatePipe(&in[0], &in[1], &inherit, 0);
  CreatePipe(&out[0], &out[1], &inherit, 0);
  CreatePipe(&err[0], &err[1], &inherit, 0);
  for (HANDLE ours : {in[1], out[0], err[0]}) SetHandleInformation(ours, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW start = {};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdInput = in[0];
  start.hStdOutput = out[1];
  start.hStdError = err[1];
  PROCESS_INFORMATION process = {};
  Run run;
  if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                      &block[0], nullptr, &start, &process)) {
    run.status = GetLastError();
    run.err = "cannot start " + exe.string();
    return run;
  }
  for (HANDLE theirs : {in[0], out[1], err[1]}) CloseHandle(theirs);
  std::thread readOut(drain, out[0], &run.out);
  std::thread readErr(drain, err[0], &run.err);
  DWORD written = 0;
  WriteFile(in[1], input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
  CloseHandle(in[1]);
  for (int ms = 0; WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT; ms += 20) {
    if (readAll(fired).find("kill") != std::string::npos) {
      TerminateProcess(process.hProcess, 137);
    } else if (ms >= 60000) {
      run.timedOut = true;
      TerminateProcess(process.hProcess, 1);
    }
  }
  GetExitCodeProcess(process.hProcess, &run.status);
  readOut.join();
  readErr.join();
  for (HANDLE h : {out[0], err[0], process.hProcess, process.hThread}) CloseHandle(h);
  for (std::string* text : {&run.out, &run.err}) {
    text->erase(std::remove(text->begin(), text->end(), '\r'), text->end());
  }
  return run;
}

struct Tally {
  int runs = 0, lost = 0, doubled = 0, partial = 0, leftOver = 0, untrue = 0, unlike = 0,
      otherTexts = 0, hung = 0;
  int bothAfterKill = 0, copiesAfterKill = 0;  // as a kill leaves them, apart
};

class Table {
 public:
  Table(fs::path exe, fs::path work, fs::path other, std::string only)
      : exe_(std::move(exe)),
        work_(std::move(work)),
        other_(std::move(other)),
        only_(std::move(only)) {}

  bool canRun(Scene scene) const {
    return !other_.empty() || scene == Scene::kOneDrive || scene == Scene::kFolder;
  }

  // One run of `faults` in `scene`; `expected` as a row gives it, or null for a sweep's run,
  // whose failures must show the text of `action`. Returns the plans that came true.
  std::string check(const std::string& faults, Scene scene, const char* expected,
                    const std::string& shown, const std::string& emulate,
                    const std::string& action = "") {
    if (faults.find(only_) == std::string::npos) return "";
    const std::string what = "[" + faults + "] " + kSceneNames[static_cast<int>(scene)] +
                             (emulate.empty() ? "" : " (" + emulate + ")");
    const fs::path src = work_ / "src";
    const fs::path dest = scene == Scene::kOneDrive ? work_ / "dest"
                          : scene == Scene::kFolder ? src
                                                    : other_ / "reprename-fault-dest";
    for (const fs::path& folder : {src, dest}) {
      empty(folder);
      fs::create_directories(folder);
    }
    const int count = scene == Scene::kGroup ? 5 : 3;
    std::map<std::string, std::string> originals;  // path -> bytes
    std::vector<std::string> sources;
    for (int i = 0; i < count; ++i) {
      ReplayFields f;
      f.nameCodes = nameCodesFor("n" + std::to_string(i));
      f.size = 64 * 1024 + static_cast<std::size_t>(i);
      sources.push_back((src / ("r" + std::to_string(i) + ".rep")).string());
      writeReplay(sources.back(), f);
      originals[sources.back()] = replayBytes(f);
    }
    if (scene == Scene::kReadOnly)
      SetFileAttributesW(widened(sources[0]).c_str(), FILE_ATTRIBUTE_READONLY);
    if (scene == Scene::kTaken) {
      ReplayFields f;
      f.nameCodes = nameCodesFor("taken");
      writeReplay((dest / "n0.rep").string(), f);
      originals[(dest / "n0.rep").string()] = replayBytes(f);
    }
    const fs::path fired = work_ / "fired";
    fs::remove(fired);
    const std::vector<std::string> args =
        scene == Scene::kFolder ? std::vector<std::string>{src.string()} : sources;
    const std::string answer = scene == Scene::kFolder ? "" : dest.string();
    Run run = runExe(exe_, args, answer + "\r\n\r\n",
                     {{"REPRENAME_FAULTS", faults},
                      {"REPRENAME_EMULATE", emulate.empty() ? "modern" : emulate},
                      {"REPRENAME_FAULTS_FIRED", fired.string()}},
                     fired);
    run.fired = readAll(fired);
    ++tally_.runs;
    const bool killed = run.status == 137;
    const bool recordLost = run.err.find("reprename: write error: ") != std::string::npos;
    if (run.timedOut) fail(what, "hung", &tally_.hung);
    // Every replay whole at exactly one path (or both, after a kill), nothing else beside them.
    std::map<std::string, std::set<std::string>> pathsOf;
    for (const fs::path& folder : {src, dest}) {
      for (const auto& entry : fs::directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        const std::string bytes = readAll(entry.path());
        const bool replay = entry.path().extension() == ".rep";
        bool known = false;
        for (const auto& [path, original] : originals) known |= original == bytes;
        if (killed && !replay &&
            entry.path().filename().string().rfind("reprename-copy-in-progress-", 0) == 0) {
          ++tally_.copiesAfterKill;
          continue;
        }
        if (!known || !replay) {
          fail(what, entry.path().string() + " is no whole replay",
               replay ? &tally_.partial : &tally_.leftOver);
        }
        pathsOf[bytes].insert(entry.path().string());
      }
    }
    for (const auto& [path, bytes] : originals) {
      const std::size_t at = pathsOf[bytes].size();
      if (at == 0) fail(what, path + " is lost", &tally_.lost);
      if (at > 1 && !killed)
        fail(what, path + " is at " + std::to_string(at) + " paths", &tally_.doubled);
      if (at > 1 && killed) ++tally_.bothAfterKill;
    }
    // What became of each replay, and every success line true.
    std::string each;
    std::set<std::string> texts;
    for (const std::string& path : sources) {
      const std::size_t line = run.out.find(path + "\n    ===>");
      const std::string outcome =
          line == std::string::npos
              ? ""
              : run.out.substr(line, run.out.find('\n', line + path.size() + 1) - line);
      const bool stays = readAll(path) == originals[path];
      char letter = outcome.empty() ? (stays ? '-' : 'm') : 'S';
      if (outcome.find(" -- File open error!!") != std::string::npos ||
          outcome.find("1.11") != std::string::npos) {
        letter = 'X';
      } else if (outcome.find(" -- Rename successful!") != std::string::npos) {
        letter = outcome.find("(Warning") != std::string::npos ? 'N' : 'M';
        const std::size_t arrow = outcome.find("===>") + 4;
        const std::string target = outcome.substr(arrow, outcome.find(" -- ") - arrow);
        if (readAll(target) != originals[path] || stays)
          fail(what, "untrue: " + outcome, &tally_.untrue);
      } else if (!outcome.empty() && !stays && !killed && !recordLost) {
        fail(what, "not moved, yet gone: " + path, &tally_.lost);
      }
      each += letter;
    }
    for (std::size_t at = run.err.find(" -- Error: "); at != std::string::npos;
         at = run.err.find(" -- Error: ", at + 1)) {
      texts.insert(run.err.substr(at + 11, run.err.find('\n', at) - at - 11));
    }
    std::string all;
    for (const std::string& text : texts) all += (all.empty() ? "" : "; ") + text;
    if (expected != nullptr && (each != expected || all != shown)) {
      fail(what,
           "came to " + each + " [" + all + "], not " + expected + " [" + shown + "]\n" + run.out +
               run.err,
           &tally_.unlike);
    }
    if (expected == nullptr && !killed && !all.empty()) {
      const auto text = kShownFor.find(action);
      // An existence test that fails counts its name free: the move there is refused as taken.
      const bool takenAsFree = scene == Scene::kTaken && all == "File already exists";
      if (text != kShownFor.end() && all != text->second && all.find(kBusy) == std::string::npos &&
          !takenAsFree) {
        fail(what, "shows " + all, &tally_.otherTexts);
      }
    }
    return run.fired;
  }

  const Tally& tally() const { return tally_; }

 private:
  void fail(const std::string& what, const std::string& why, int* count) {
    ++*count;
    std::cout << "FAIL " << what << ": " << why << std::endl;
  }

  fs::path exe_, work_, other_;
  const std::string only_;
  Tally tally_;
};

// The rows whose scene can be set up here; returns how many could not.
int runRows(Table& table) {
  int skipped = 0;
  for (const Row& row : kRows) {
    if (!table.canRun(row.scene)) {
      ++skipped;
      continue;
    }
    table.check(row.faults, row.scene, row.outcome, row.shown, row.emulate);
  }
  return skipped;
}

// Every swept call failed with each of its errors, and killed before and after, at each of its
// first `deepest` calls, in every scene that can be set up here.
void sweep(Table& table, int deepest) {
  for (int scene = 0; deepest > 0 && scene <= static_cast<int>(Scene::kGroup); ++scene) {
    if (!table.canRun(static_cast<Scene>(scene))) continue;
    for (const auto& [call, errors] : kSwept) {
      std::vector<std::string> actions = errors;
      actions.push_back("kill");
      actions.push_back("kill-after");
      for (const std::string& action : actions) {
        for (int n = 1; n <= deepest; ++n) {
          const std::string faults = call + ":" + std::to_string(n) + ":" + action;
          if (table.check(faults, static_cast<Scene>(scene), nullptr, "", "", action).empty()) {
            break;  // no call that far
          }
        }
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  int deepest = 0;
  fs::path other;
  std::string only;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--sweep" && i + 1 < argc) {
      deepest = std::atoi(argv[++i]);
    } else if (arg == "--only" && i + 1 < argc) {
      only = argv[++i];
    } else {
      other = arg;
    }
  }
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const fs::path exe = fs::path(self).parent_path() / "reprename_faults.exe";
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const fs::path work =
      fs::path(temp) / ("reprename-fault-table-" + std::to_string(GetCurrentProcessId()));
  fs::create_directories(work);
  if (!other.empty()) other /= "reprename-fault-table-" + std::to_string(GetCurrentProcessId());
  if (!other.empty()) fs::create_directories(other);
  Table table(exe, work, other, only);
  const int skipped = runRows(table);
  sweep(table, deepest);
  const Tally& t = table.tally();
  std::cout << t.runs << " runs (" << skipped
            << " rows skipped: no other drive given): replays lost " << t.lost << ", at two paths "
            << t.doubled << ", partial under a .rep name " << t.partial << ", other files left "
            << t.leftOver << ", untrue success lines " << t.untrue << ", outcomes unlike the row's "
            << t.unlike << ", failures not shown as injected " << t.otherTexts << ", hung "
            << t.hung << "; after a kill: whole at both paths " << t.bothAfterKill
            << ", copies in progress left " << t.copiesAfterKill << std::endl;
  empty(work);
  if (!other.empty()) empty(other);
  const bool held =
      t.lost + t.doubled + t.partial + t.leftOver + t.untrue + t.unlike + t.otherTexts + t.hung ==
      0;
  return held ? 0 : 1;
}

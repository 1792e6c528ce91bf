#include "portable/windows_paths.h"

#include <algorithm>
#include <vector>

#include "portable/path_style.h"

namespace {

bool isSeparator(char c) {
  return separatorsOf(PathStyle::kWindows).find(c) != std::string_view::npos;
}

// The end of the component starting at `at`.
std::size_t componentEnd(std::string_view path, std::size_t at) {
  while (at < path.size() && !isSeparator(path[at])) ++at;
  return at;
}

// Adds the components of `part` to `components` as the system resolves them: "." and empty ones
// dropped, ".." taking back the last, never past the root.
void addComponents(std::string_view part, std::vector<std::string_view>* components) {
  for (std::size_t at = 0; at < part.size();) {
    const std::size_t end = componentEnd(part, at);
    const std::string_view name = part.substr(at, end - at);
    at = end + 1;
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      if (!components->empty()) components->pop_back();
      continue;
    }
    components->push_back(name);
  }
}

}  // namespace

WindowsPathStart splitWindowsPath(std::string_view path) {
  WindowsPathStart start;
  if (path.size() >= 4 && isSeparator(path[0]) && isSeparator(path[1]) &&
      (path[2] == '?' || path[2] == '.') && isSeparator(path[3])) {
    start.root = WindowsPathRoot::kExtended;
    start.rest = path;
  } else if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1])) {
    // \\server\share: the server and the share are the root, as ".." cannot leave them
    const std::size_t server = componentEnd(path, 2);
    const std::size_t share = server < path.size() ? componentEnd(path, server + 1) : server;
    start.root = WindowsPathRoot::kUnc;
    start.base = path.substr(0, share);
    start.rest = path.substr(share);
  } else if (startsWithDrive(path)) {
    const bool absolute = path.size() >= 3 && isSeparator(path[2]);
    start.root = absolute ? WindowsPathRoot::kDrive : WindowsPathRoot::kDriveRelative;
    start.base = path.substr(0, 2);
    start.rest = path.substr(2);
  } else if (!path.empty() && isSeparator(path[0])) {
    start.root = WindowsPathRoot::kRooted;
    start.rest = path;
  } else {
    start.rest = path;
  }
  return start;
}

std::string extendedWindowsPath(std::string_view folder, std::string_view rest) {
  std::string prefix = "\\\\?\\";
  std::string_view root;
  std::string_view below;
  const WindowsPathStart start = splitWindowsPath(folder);
  if (start.root == WindowsPathRoot::kExtended) {
    // \\?\C:\x or \\?\UNC\server\share\x: the prefix and the volume are the root
    const std::string_view after = folder.substr(4);
    const bool unc = after.size() >= 4 &&
                     (after.substr(0, 3) == "UNC" || after.substr(0, 3) == "unc") &&
                     isSeparator(after[3]);
    std::size_t end = componentEnd(folder, 4);
    if (unc) end = componentEnd(folder, componentEnd(folder, end + 1) + 1);
    prefix = std::string(folder.substr(0, std::min(end, folder.size())));
    for (char& c : prefix) c = isSeparator(c) ? '\\' : c;
    below = folder.substr(std::min(end, folder.size()));
  } else if (start.root == WindowsPathRoot::kUnc) {
    prefix += "UNC";
    root = start.base.substr(1);  // \server\share
    below = start.rest;
  } else {
    root = start.base;  // C:
    below = start.rest;
  }
  std::vector<std::string_view> components;
  for (const std::string_view part : {below, rest}) addComponents(part, &components);
  std::string path = prefix;
  for (char c : root) path.push_back(isSeparator(c) ? '\\' : c);
  for (const std::string_view name : components) {
    path.push_back('\\');
    path.append(name);
  }
  if (components.empty()) path.push_back('\\');  // the root itself: C:\ or \\server\share\.
  return path;
}

std::string windowsTrimmedPath(std::string_view path) {
  const WindowsPathStart start = splitWindowsPath(path);
  const std::string_view rest = start.rest;
  std::size_t last = rest.size();
  while (last > 0 && !isSeparator(rest[last - 1])) --last;
  const std::string_view name = rest.substr(last);
  if (start.root == WindowsPathRoot::kExtended || name == "." || name == "..") {
    return std::string(path);
  }
  const std::size_t kept = name.find_last_not_of(". ");
  return std::string(path.substr(0, path.size() - name.size() + (kept + 1)));
}

std::string nativeWindowsPath(std::string_view extended) {
  std::string path(extended);
  if (path.size() >= 4 && path[0] == '\\' && path[1] == '\\' &&
      (path[2] == '?' || path[2] == '.') && path[3] == '\\') {
    path[1] = '?';
    path[2] = '?';
  }
  return path;
}

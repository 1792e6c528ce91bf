#include "portable/path_style.h"

std::string asciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

bool endsWithSeparator(std::string_view path, PathStyle style) {
  return !path.empty() && path.back() == separatorOf(style);
}

bool startsWithDrive(std::string_view path) {
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

namespace {

// Where the last component of `path` begins, less one: its last separator, or on Windows a
// drive's ':' ("C:a.rep" is a.rep in drive C's current folder); npos for a bare name.
std::size_t lastCut(std::string_view path, PathStyle style) {
  const std::size_t cut = path.find_last_of(separatorsOf(style));
  const bool drive = style == PathStyle::kWindows && startsWithDrive(path);
  return cut == std::string_view::npos && drive ? 1 : cut;
}

}  // namespace

std::string_view fileNamePart(std::string_view path, PathStyle style) {
  const std::size_t cut = lastCut(path, style);
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

std::string_view folderPart(std::string_view path, PathStyle style) {
  const std::size_t cut = lastCut(path, style);
  return cut == std::string_view::npos ? std::string_view() : path.substr(0, cut + 1);
}

std::string pathInFolder(std::string_view folder, std::string_view name, PathStyle style) {
  std::string path(folder);
  if (!fileNamePart(folder, style).empty()) path.push_back(separatorOf(style));
  path.append(name);
  return path;
}

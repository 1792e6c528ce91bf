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

std::string_view fileNamePart(std::string_view path, PathStyle style) {
  const std::size_t cut = path.find_last_of(separatorsOf(style));
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

std::string_view folderPart(std::string_view path, PathStyle style) {
  const std::size_t cut = path.find_last_of(separatorsOf(style));
  return cut == std::string_view::npos ? std::string_view() : path.substr(0, cut + 1);
}

std::string pathInFolder(std::string_view folder, std::string_view name, PathStyle style) {
  std::string path(folder);
  const bool drive = style == PathStyle::kWindows && folder.size() == 2 && folder[1] == ':';
  if (!fileNamePart(folder, style).empty() && !drive) path.push_back(separatorOf(style));
  path.append(name);
  return path;
}

#include "platform/path_style.h"

std::size_t lastSeparator(std::string_view path, PathStyle style) {
  if (style.encoding == NameEncoding::kUtf8) return path.rfind(style.separator);
  // Shift-JIS can only be read forwards: a byte's role depends on the bytes before it.
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (isShiftJisLeadByte(static_cast<unsigned char>(path[i]))) {
      ++i;
    } else if (path[i] == style.separator) {
      found = i;
    }
  }
  return found;
}

bool endsWithSeparator(std::string_view path, PathStyle style) {
  return !path.empty() && lastSeparator(path, style) == path.size() - 1;
}

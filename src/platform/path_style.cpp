#include "platform/path_style.h"

std::size_t lastSeparator(std::string_view path, PathStyle style) {
  return path.rfind(separatorOf(style));
}

bool endsWithSeparator(std::string_view path, PathStyle style) {
  return !path.empty() && path.back() == separatorOf(style);
}

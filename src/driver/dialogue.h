#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/console.h"
#include "portable/path_style.h"

// The directory part of `firstPath` up to and including its last separator, or nothing when the
// path has no separator after its first byte; "./", the current folder, for a bare POSIX name.
std::optional<std::string> directoryOf(std::string_view firstPath, PathStyle style);

// How a typed destination answer becomes the folder it names; as typed where no other is given.
using AnswerToFolder = std::function<std::string(const std::string&)>;

// Asks for the destination, offering the first file's directory where it has one. The result
// always ends with the separator. Nothing means cancelled: an empty answer where nothing is
// offered, or the end of input.
std::optional<std::string> askDestination(std::string_view firstPath, Console& console,
                                          PathStyle style,
                                          const AnswerToFolder& toFolder = nullptr);

// Asks for the file-name format until it is not a request for help. An empty answer means "/n".
// Nothing means the input ended.
std::optional<std::string> askFormat(Console& console);

#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// How a system spells file paths. Both keep names in UTF-8 here, where no byte of a multi-byte
// character is ever an ASCII byte, so a separator is found by its byte alone.
enum class PathStyle { kPosix, kWindows };

// `text` with its ASCII letters in lower case and every other byte as it is.
std::string asciiLower(std::string_view text);

// The separator the dialogue looks for and appends: '/' or '\'.
constexpr char separatorOf(PathStyle style) { return style == PathStyle::kWindows ? '\\' : '/'; }

// The characters that separate a path's components: '/', and on Windows '\' too.
constexpr std::string_view separatorsOf(PathStyle style) {
  return style == PathStyle::kWindows ? "\\/" : "/";
}

// True when the last character of `path` is the separator the dialogue appends.
bool endsWithSeparator(std::string_view path, PathStyle style);

// True when a Windows `path` begins with a drive, a letter and ':', as "C:" and "z:a.rep" do.
bool startsWithDrive(std::string_view path);

// The last component of `path`, after its last separator (on Windows, or after a drive's ':',
// as in "C:a.rep").
std::string_view fileNamePart(std::string_view path, PathStyle style);

// The folder part of `path`, up to and with its last separator (or a drive's ':'), or nothing
// for a bare name.
std::string_view folderPart(std::string_view path, PathStyle style);

// `name` inside `folder`, with a separator between them unless the folder is empty or ends in
// one (or in a drive's ':').
std::string pathInFolder(std::string_view folder, std::string_view name, PathStyle style);

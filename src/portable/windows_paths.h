#pragma once

#include <string>
#include <string_view>

// How Windows reads a path, built on every platform so the rules are tested where the tests run.
// The system's own full-path function also trims a name's trailing dots and blanks, so "rr." or
// "rr " would name the folder "rr": the tool builds the \\?\ form itself, which names exactly
// what the path spells.

// What a path is relative to, by how it begins.
enum class WindowsPathRoot {
  kExtended,       // \\?\ or \\.\ already: taken as it is
  kUnc,            // \\server\share
  kDrive,          // C:\ ...
  kDriveRelative,  // C:name, relative to that drive's current folder
  kRooted,         // \name, from the root of the current drive
  kRelative,       // name, relative to the current folder
};

struct WindowsPathStart {
  WindowsPathRoot root = WindowsPathRoot::kRelative;
  std::string_view base;  // "\\server\share", "C:" or empty
  std::string_view rest;  // what follows it
};

// Splits `path` ('\' and '/' alike) into how it begins and the rest.
WindowsPathStart splitWindowsPath(std::string_view path);

// The \\?\ form of `rest` taken inside `folder`, an absolute Windows path ("C:\x", "C:\",
// "\\server\share\x", or a \\?\ form of one): separators become '\', empty and "." components
// drop out, ".." goes back one component but never past the drive or share, and every other
// component stays exactly as it is, with its trailing dots and blanks.
std::string extendedWindowsPath(std::string_view folder, std::string_view rest);

// `path` as Windows' own rules read a path that does not end in a separator: the trailing dots
// and blanks of its last component dropped, so "D:\out " names D:\out. A \\?\ path, which
// those rules leave alone, and a last component "." or ".." stay as they are.
std::string windowsTrimmedPath(std::string_view path);

// The same path as the system's native layer spells it (\??\ for \\?\), for the calls that take
// one as it is, such as a rename through a handle.
std::string nativeWindowsPath(std::string_view extended);

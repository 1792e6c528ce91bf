#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The other forms a Linux terminal gives a folder's name, in the order they are tried where the
// answer as typed names no folder: surrounding blanks trimmed (a dragged folder comes with one
// behind it); then one level of shell quoting removed ('...', "...", backslash escapes); then a
// leading ~/ read as `home`; then a file:// URI decoded. Each builds on the one before; forms
// that are not what they would be (unbalanced quotes, two words) are left out.
std::vector<std::string> destinationForms(std::string_view answer, std::string_view home);

// The folder a typed destination answer names: the answer itself when it is a folder, else the
// first of its other `forms` that is one, else the answer as typed.
std::string folderOfTypedAnswer(const std::string& answer, const std::vector<std::string>& forms,
                                const std::function<bool(const std::string&)>& isFolder);

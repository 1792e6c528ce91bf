#include "driver/destination.h"

#include <optional>

namespace {

std::string_view trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return std::string_view();
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// One shell word without its quoting, as sh reads it; nothing for text that is not one word.
std::optional<std::string> unquoted(std::string_view word) {
  std::string out;
  for (std::size_t i = 0; i < word.size(); ++i) {
    const char c = word[i];
    if (c == '\'') {
      const std::size_t end = word.find('\'', i + 1);
      if (end == std::string_view::npos) return std::nullopt;
      out.append(word.substr(i + 1, end - i - 1));
      i = end;
    } else if (c == '"') {
      for (++i;; ++i) {
        if (i >= word.size()) return std::nullopt;
        if (word[i] == '"') break;
        if (word[i] == '\\' && i + 1 < word.size() &&
            std::string_view("$`\"\\").find(word[i + 1]) != std::string_view::npos) {
          ++i;
        }
        out.push_back(word[i]);
      }
    } else if (c == '\\') {
      if (i + 1 >= word.size()) return std::nullopt;
      out.push_back(word[++i]);
    } else if (c == ' ' || c == '\t') {
      return std::nullopt;  // two words
    } else {
      out.push_back(c);
    }
  }
  return out;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The path of a file:// URI on this machine, its percent escapes decoded.
std::optional<std::string> uriPath(std::string_view uri) {
  for (std::string_view prefix : {"file://localhost/", "file:///"}) {
    if (uri.compare(0, prefix.size(), prefix) != 0) continue;
    std::string path = "/";
    for (std::size_t i = prefix.size(); i < uri.size(); ++i) {
      if (uri[i] != '%') {
        path.push_back(uri[i]);
        continue;
      }
      if (i + 2 >= uri.size() || hexValue(uri[i + 1]) < 0 || hexValue(uri[i + 2]) < 0) {
        return std::nullopt;
      }
      path.push_back(static_cast<char>(hexValue(uri[i + 1]) * 16 + hexValue(uri[i + 2])));
      i += 2;
    }
    return path;
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::string> destinationForms(std::string_view answer, std::string_view home) {
  std::vector<std::string> forms;
  auto add = [&forms](std::string form) {
    if (!form.empty() && (forms.empty() || forms.back() != form)) forms.push_back(std::move(form));
  };
  std::string form(trimmed(answer));
  add(form);
  if (std::optional<std::string> word = unquoted(form)) add(form = *word);
  if (!home.empty() && (form == "~" || form.compare(0, 2, "~/") == 0)) {
    add(form = std::string(home) + form.substr(1));
  }
  if (std::optional<std::string> path = uriPath(form)) add(*path);
  return forms;
}

std::string folderOfTypedAnswer(const std::string& answer, const std::vector<std::string>& forms,
                                const std::function<bool(const std::string&)>& isFolder) {
  if (isFolder(answer)) return answer;
  for (const std::string& form : forms) {
    if (form != answer && isFolder(form)) return form;
  }
  return answer;
}

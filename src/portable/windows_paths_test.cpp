#include "portable/windows_paths.h"

#include <gtest/gtest.h>

namespace {

TEST(WindowsPaths, HowAPathBegins) {
  struct Case {
    const char* path;
    WindowsPathRoot root;
    const char* base;
    const char* rest;
  } cases[] = {
      {"C:\\x\\a.rep", WindowsPathRoot::kDrive, "C:", "\\x\\a.rep"},
      {"z:a.rep", WindowsPathRoot::kDriveRelative, "z:", "a.rep"},
      {"\\\\srv\\share\\x\\a.rep", WindowsPathRoot::kUnc, "\\\\srv\\share", "\\x\\a.rep"},
      {"//srv/share", WindowsPathRoot::kUnc, "//srv/share", ""},
      {"\\\\?\\C:\\x", WindowsPathRoot::kExtended, "", "\\\\?\\C:\\x"},
      {"\\x\\a.rep", WindowsPathRoot::kRooted, "", "\\x\\a.rep"},
      {"rr.\\a.rep", WindowsPathRoot::kRelative, "", "rr.\\a.rep"},
      {"\\\\.\\C:\\x", WindowsPathRoot::kExtended, "", "\\\\.\\C:\\x"},
      {"//?/C:/x", WindowsPathRoot::kExtended, "", "//?/C:/x"},
      {"\\\\srv", WindowsPathRoot::kUnc, "\\\\srv", ""},
      {"c:", WindowsPathRoot::kDriveRelative, "c:", ""},
      {"1:x", WindowsPathRoot::kRelative, "", "1:x"},   // no drive
      {"\\\\?x", WindowsPathRoot::kUnc, "\\\\?x", ""},  // a server named ?x
      {"\\x", WindowsPathRoot::kRooted, "", "\\x"},
  };
  for (const Case& c : cases) {
    const WindowsPathStart start = splitWindowsPath(c.path);
    EXPECT_EQ(start.root, c.root) << c.path;
    EXPECT_EQ(start.base, c.base) << c.path;
    EXPECT_EQ(start.rest, c.rest) << c.path;
  }
}

// Names keep their trailing dots and blanks; only separators, "." and ".." are read.
TEST(WindowsPaths, ExtendedFormNamesExactlyWhatIsSpelled) {
  struct Case {
    const char* folder;
    const char* rest;
    const char* extended;
  } cases[] = {
      {"C:\\x", "rr.\\a.rep", "\\\\?\\C:\\x\\rr.\\a.rep"},
      {"C:\\x", "rr ", "\\\\?\\C:\\x\\rr "},
      {"C:", "\\x//y\\.\\..\\AUX.rep", "\\\\?\\C:\\x\\AUX.rep"},
      {"C:\\", "..\\..\\a.rep", "\\\\?\\C:\\a.rep"},
      {"C:\\x", "", "\\\\?\\C:\\x"},
      {"C:", "", "\\\\?\\C:\\"},
      {"\\\\srv\\share", "\\..\\a.rep", "\\\\?\\UNC\\srv\\share\\a.rep"},
      {"//srv/share/d", "a.rep", "\\\\?\\UNC\\srv\\share\\d\\a.rep"},
      {"\\\\?\\C:\\x", "..\\..\\b", "\\\\?\\C:\\b"},
      {"\\\\?\\UNC\\srv\\share\\x", "..\\..\\b", "\\\\?\\UNC\\srv\\share\\b"},
      {"\\\\?\\unc\\srv\\share", "..\\b", "\\\\?\\unc\\srv\\share\\b"},
      {"//?/C:/x", "a", "\\\\?\\C:\\x\\a"},
      {"\\\\?\\UNCx\\y", "..\\b", "\\\\?\\UNCx\\b"},  // no UNC: a volume so named
  };
  for (const Case& c : cases) {
    EXPECT_EQ(extendedWindowsPath(c.folder, c.rest), c.extended) << c.folder << " + " << c.rest;
  }
  EXPECT_EQ(nativeWindowsPath("\\\\?\\C:\\x"), "\\??\\C:\\x");
  EXPECT_EQ(nativeWindowsPath("\\\\?\\UNC\\s\\h\\x"), "\\??\\UNC\\s\\h\\x");
  EXPECT_EQ(nativeWindowsPath("\\\\.\\C:\\x"), "\\??\\C:\\x");
  EXPECT_EQ(nativeWindowsPath("C:\\x"), "C:\\x");
  EXPECT_EQ(nativeWindowsPath("\\\\?x\\"), "\\\\?x\\");
  // As Windows' own rules read a path: the trailing dots and blanks of its last part dropped.
  const std::pair<const char*, const char*> trimmed[] = {
      {"D:\\out ", "D:\\out"},
      {"D:\\o.u.t. .", "D:\\o.u.t"},
      {"D:\\out \\", "D:\\out \\"},
      {"D:\\a \\..", "D:\\a \\.."},
      {"D: ", "D:"},
      {"\\\\?\\D:\\out ", "\\\\?\\D:\\out "},
      {"...", ""},
      {"D:\\ ", "D:\\"},
  };
  for (const auto& [typed, read] : trimmed) EXPECT_EQ(windowsTrimmedPath(typed), read) << typed;
}

}  // namespace

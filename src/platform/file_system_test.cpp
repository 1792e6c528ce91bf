#include "platform/file_system.h"

#include <gtest/gtest.h>

namespace {

// A file opened for its move is the file read when all its stamp says is the same; a file ID a
// folder's listing did not know (0, on file systems without IDs) is not compared.
TEST(FileStamps, TheFileReadIsKnownByWhatItsStampKnows) {
  const FileStamp read{7, 42, 67, 1000};
  struct Case {
    FileStamp read;
    FileStamp now;
    bool same;
  } cases[] = {
      {read, read, true},
      {read, {7, 43, 67, 1000}, false},             // another file
      {read, {8, 42, 67, 1000}, false},             // on another volume
      {read, {7, 42, 68, 1000}, false},             // written to since
      {read, {7, 42, 67, 1001}, false},             // or touched
      {{7, 0, 67, 1000}, {7, 42, 67, 1000}, true},  // no ID in the listing
      {{7, 0, 67, 1000}, {7, 42, 99, 1000}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isFileRead(c.read, c.now), c.same) << c.now.fileId << " " << c.now.size;
  }
}

}  // namespace

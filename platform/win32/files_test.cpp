// The image file's open on Windows: a wide path of any script, and bytes read
// back exactly as stored (no line-end or end-of-file translation in "rb").
#include "platform/api.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/win32/test_support.h"

namespace {

using win32_test::TempPath;
using win32_test::Wide;

TEST(Win32Files, WideOpenReadsEveryByteAsStored) {
  std::u16string path = TempPath(u"Pr\u00fcfung_\u03a9_\u6e2c_0000000a.bin");
  // Bytes a text-mode open would change: line ends and the old end-of-file mark.
  const std::string bytes("\x3d\n\r\x1a\n\x00\xff", 7);

  std::FILE* out = os::_wfopen(path.c_str(), u"wb");
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), out), bytes.size());
  std::fclose(out);

  std::FILE* in = os::_wfopen(path.c_str(), u"rb");
  ASSERT_NE(in, nullptr);
  char back[64] = {};
  std::size_t n = std::fread(back, 1, sizeof back, in);
  std::fclose(in);
  ::DeleteFileW(Wide(path));
  EXPECT_EQ(std::string(back, n), bytes);
}

TEST(Win32Files, AMissingFileDoesNotOpen) {
  std::u16string path = TempPath(u"missing_0000000b.bin");
  errno = 0;
  EXPECT_EQ(os::_wfopen(path.c_str(), u"rb"), nullptr);
  EXPECT_EQ(errno, ENOENT);
}

}  // namespace

#include "foundation/zr_string.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/zr_string_base.h"
#include "foundation/zr_string_util.h"

namespace {

TEST(ZrStringTest, CopiesAndConcatOrAssignFromOwnBuffer) {
  ZrString a("hello");
  ZrString b(a);
  b += " world";
  EXPECT_STREQ(a, "hello");
  EXPECT_STREQ(b, "hello world");
  a.Assign(nullptr);
  EXPECT_STREQ(a, "");

  ZrString s("abcdefg");  // 8-byte slot, full
  s.ConcatN(s, 7);        // must move to 16 and still read its own old text
  EXPECT_STREQ(s, "abcdefgabcdefg");
  s.Assign(s.GetText() + 7);
  EXPECT_STREQ(s, "abcdefg");
  s.ConcatN("xyz", 0);
  EXPECT_STREQ(s, "abcdefg");
  s.ConcatN("xyz", 2);
  EXPECT_STREQ(s, "abcdefgxy");
  EXPECT_STREQ("a" + ZrString("b"), "ab");
  EXPECT_STREQ(ZrString("a") + static_cast<const char*>(nullptr), "a");
}

TEST(ZrStringTest, FormattingConstructors) {
  EXPECT_STREQ(ZrString("n=%d", -5), "n=-5");
  EXPECT_STREQ(ZrString(0xBEEFu, "%08X"), "0000BEEF");
  std::string long_format(897, 'x');
  EXPECT_STREQ(ZrString(long_format.c_str(), 1), "*ZrString: Format string too long*");
  std::string max_format(896, 'x');
  EXPECT_EQ(ZrString(max_format.c_str(), 1).GetLength(), 896u);
  // An expansion beyond the 1024-byte buffer is cut, not overrun.
  EXPECT_EQ(ZrString("%2000d", 7).GetLength(), 1023u);
}

TEST(ZrStringTest, SubstringsPaddingTokensComparison) {
  ZrString s("abcdef");
  EXPECT_STREQ(s(2, 100), "cdef");
  EXPECT_STREQ(s(10, 1), "");
  EXPECT_STREQ(s.Mid(6, 1), "");
  EXPECT_STREQ(s.Mid(-1, 1), "");
  EXPECT_STREQ(s.Mid(2, -1), "cdef");

  EXPECT_STREQ(ZrString("ab").FillBlank(5), "ab   ");
  EXPECT_STREQ(ZrString().FillBlank(3), "   ");

  ZrString tokens("a;;b;c");
  EXPECT_STREQ(tokens.ExtractToken(";"), "a");
  EXPECT_STREQ(tokens, "b;c");
  EXPECT_STREQ(tokens.ExtractToken(";"), "b");
  ZrString lead(";a");
  EXPECT_STREQ(lead.ExtractToken(";"), "");
  EXPECT_STREQ(lead, "a");
  EXPECT_STREQ(ZrString().ExtractToken(";"), "");
  ZrString path("C:\\x/y");
  EXPECT_STREQ(path.ExtractToken("/\\"), "C:");
  EXPECT_STREQ(path.ExtractToken("/\\"), "x");
  EXPECT_STREQ(path, "y");

  ZrString abc("Abc");
  EXPECT_TRUE(abc != "abc");
  EXPECT_EQ(abc.CompareNoCase("aBC"), 0);
  EXPECT_LT(abc.CompareNoCase("abd"), 0);
  EXPECT_EQ(abc.Find('c'), 2);
  EXPECT_EQ(abc.Find('A', 1), -1);
  EXPECT_EQ(abc.Find("bc"), 1);
}

TEST(ZrStringBaseTest, BoundedAssignAndCopies) {
  char storage[6];
  ZrStringBase view(storage, 5);
  view.Assign("abcdefgh");
  EXPECT_STREQ(view, "abcde");
  view.Assign("xy");
  EXPECT_STREQ(view, "xy");
  ZrStringBase shared(view);  // shares storage, bounded by "xy"
  shared.Assign("12345");
  EXPECT_EQ(shared.GetMaxLength(), 2);
  EXPECT_STREQ(storage, "12");

  ZrFixString<255> fix(std::string(300, 'z').c_str());
  EXPECT_EQ(fix.GetLength(), 255u);
  ZrFixString<255> copy(fix);
  EXPECT_NE(copy.GetText(), fix.GetText());  // own buffer, not shared
  EXPECT_EQ(copy.GetLength(), 255u);
}

TEST(ZrStringUtilTest, Trims) {
  char a[] = " \t x y \r\n";
  EXPECT_STREQ(ZrRTrim(a), " \t x y");
  EXPECT_STREQ(ZrLTrim(a), "x y");
  char b[] = "--x--";
  EXPECT_STREQ(ZrLTrim(ZrRTrim(b, "-"), "-"), "x");
  char c[] = "   ";
  EXPECT_STREQ(ZrRTrim(c), "");
}

// The 64-bit forms: XchgTest's hex fields (written, read, refused).
TEST(ZrStringUtilTest, HexRoundTripsAndFailures) {
  char buf[17];
  memset(buf, '#', sizeof(buf));
  ULong32ToHex(0x00ABCDEF, buf);
  EXPECT_EQ(std::string(buf, 9), "00ABCDEF#");  // no terminator
  EXPECT_STREQ(ULong32ToHexSz(0xFFFFFFFF, buf), "FFFFFFFF");

  uint32_t v = 0;
  EXPECT_TRUE(HexToULong32(v, "7fffffff"));
  EXPECT_EQ(v, 2147483647u);
  EXPECT_TRUE(HexToULong32(v, "DeadBeefXYZ"));  // bytes after the 8th ignored
  EXPECT_EQ(v, 0xDEADBEEFu);
  EXPECT_FALSE(HexToULong32(v, "1234567G"));
  EXPECT_EQ(v, 0xFFFFFFFFu);
  EXPECT_FALSE(HexToULong32(v, "123"));
}

}  // namespace

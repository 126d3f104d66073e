// The framework string: the operations the application relies on.
#include "framework/CString.h"

#include <gtest/gtest.h>

namespace {

TEST(CString, ConversionsConcatenationAndComparison) {
    CString s;
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_STREQ(static_cast<const char*>(s), "");
    s = "C:\\Photos";
    s += '\\';
    s += "2024";
    EXPECT_EQ(s, "C:\\Photos\\2024");
    EXPECT_EQ(s.GetLength(), 14);
    CString t = "x" + s + ".jpg";
    EXPECT_STREQ(t, "xC:\\Photos\\2024.jpg");
    EXPECT_EQ(CString("abc").CompareNoCase("ABC"), 0);
    EXPECT_LT(CString("abc").CompareNoCase("abd"), 0);
    EXPECT_NE(CString("abc").Compare("ABC"), 0);
    CString nul(static_cast<const char*>(nullptr));
    EXPECT_TRUE(nul.IsEmpty());
}

TEST(CString, FindAndSlicesClampToTheText) {
    CString s = "hide baypass";
    EXPECT_EQ(s.Find("bay"), 5);
    EXPECT_EQ(s.Find("bay", 6), -1);
    EXPECT_EQ(s.Find('e'), 3);
    EXPECT_EQ(s.Find('e', 100), -1);
    EXPECT_EQ(s.ReverseFind('a'), 9);
    EXPECT_EQ(s.Left(4), "hide");
    EXPECT_EQ(s.Mid(5), "baypass");
    EXPECT_EQ(s.Mid(5, 3), "bay");
    EXPECT_EQ(s.Right(4), "pass");
    EXPECT_EQ(s.Left(100), s);
    EXPECT_EQ(s.Mid(-3, 2), "hi");
    EXPECT_EQ(s.Right(-1), "");
}

TEST(CString, FormatBufferAndEditing) {
    CString s;
    s.Format("%d;%X", 3, 255);
    EXPECT_EQ(s, "3;FF");
    std::string longText(5000, 'q');
    s.Format("<%s>", longText.c_str());
    EXPECT_EQ(s.GetLength(), 5002);
    s.AppendFormat("%s", "!");
    EXPECT_EQ(s.Right(2), ">!");

    char* buf = s.GetBuffer(16);
    std::snprintf(buf, 16, "%s", "abc");
    s.ReleaseBuffer();
    EXPECT_EQ(s, "abc");

    CString p = "  a/b/a  ";
    p.Trim();
    EXPECT_EQ(p, "a/b/a");
    EXPECT_EQ(p.Replace("a", "xy"), 2);
    EXPECT_EQ(p, "xy/b/xy");
    p.MakeUpper();
    EXPECT_EQ(p, "XY/B/XY");
    CString slash = "C:\\T\\\\";
    slash.TrimRight('\\');
    EXPECT_EQ(slash, "C:\\T");
}

} // namespace

// The application's narrow string: searching, cutting and trimming, and the
// positions that must raise instead of reading past the text.

#include "settings/CStdString.h"

#include <gtest/gtest.h>

TEST(CStdString, ConstructionComparisonAndJoining) {
    CStdString never, empty(""), fromNull(nullptr), abc("abc");
    EXPECT_EQ(never.GetLength(), 0);
    EXPECT_EQ(empty.GetLength(), 0);
    EXPECT_EQ(fromNull, empty);
    EXPECT_EQ(abc.GetLength(), 3);
    CStdString copy(abc);
    copy += CStdString("d");
    EXPECT_EQ(copy, CStdString("abcd"));
    EXPECT_EQ(abc, CStdString("abc")) << "the copy is separate";
    EXPECT_EQ(abc + CStdString("\\x"), CStdString("abc\\x"));
    EXPECT_FALSE(abc == CStdString("abC"));
    EXPECT_FALSE(abc == CStdString("ab"));
    copy = abc;
    EXPECT_STREQ(copy, "abc");
    EXPECT_EQ(abc.Left(2), CStdString("ab"));
    EXPECT_EQ(abc.Left(10), abc);
    EXPECT_EQ(abc.Left(0).GetLength(), 0);
}

TEST(CStdString, FindOfACharacterChecksItsStart) {
    CStdString s("a\\b\\c");
    EXPECT_EQ(s.Find('\\'), 1);
    EXPECT_EQ(s.Find('\\', 2), 3);
    EXPECT_EQ(s.Find('z'), -1);
    try {
        s.Find('a', 5);
        ADD_FAILURE() << "a start at the length must raise";
    } catch (const gen::genlib_out_of_range& e) {
        EXPECT_EQ(e.index, 5u);
        EXPECT_EQ(e.count, 5u);
    }
    EXPECT_THROW(CStdString("").Find('a', 0), gen::genlib_out_of_range);
    EXPECT_EQ(s.Find("\\c", 0), 3);
    EXPECT_EQ(s.Find("\\c", 4), -1);
    EXPECT_EQ(s.Find("a", 5), -1) << "text search at the length gives -1";
}

TEST(CStdString, DeleteChecksBothEnds) {
    CStdString s("abcde");
    s.Delete(2, 3);
    EXPECT_EQ(s, CStdString("abc"));
    CStdString t("abcde");
    try {
        t.Delete(3, 3);
        ADD_FAILURE() << "deleting past the end must raise";
    } catch (const gen::genlib_out_of_range& e) {
        EXPECT_EQ(e.index, 5u);
    }
    EXPECT_EQ(t, CStdString("abcde")) << "a refused delete changes nothing";
    t.Delete(-1, 1);
    EXPECT_EQ(t, CStdString("a"));
    EXPECT_THROW(t.Delete(1, 1), gen::genlib_out_of_range);
}

TEST(CStdString, ReplaceGoesOnAfterEachInsertedCopy) {
    CStdString s("abXab");
    EXPECT_EQ(s.Replace("ab", "c"), 2);
    EXPECT_EQ(s, CStdString("cXc"));
    CStdString grow("aa");
    EXPECT_EQ(grow.Replace("a", "aa"), 2) << "the inserted copies are not searched again";
    EXPECT_EQ(grow, CStdString("aaaa"));
    EXPECT_EQ(grow.Replace("", "x"), 0);
    EXPECT_EQ(grow.Replace("zz", "x"), 0);
}

TEST(CStdString, Trimming) {
    CStdString path("C:\\Photos \\\\ \\");
    path.TrimRight("\\ ");
    EXPECT_EQ(path, CStdString("C:\\Photos"));
    CStdString all("\\\\");
    all.TrimRight("\\ ");
    EXPECT_EQ(all.GetLength(), 0);
    CStdString lead("   x  ");
    lead.TrimLeft();
    EXPECT_EQ(lead, CStdString("x  "));
    lead.TrimRight(' ');
    EXPECT_EQ(lead, CStdString("x"));
    CStdString slashes("//a//");
    slashes.TrimLeft('/');
    EXPECT_EQ(slashes, CStdString("a//"));
}

TEST(CStdString, BufferForWritingInPlace) {
    CStdString s("ab");
    char* buffer = s.GetBuffer(10);
    EXPECT_EQ(buffer[2], '\0');
    EXPECT_EQ(buffer[10], '\0');
    std::memcpy(buffer, "hello", 5);
    s.ReleaseBuffer();
    EXPECT_EQ(s, CStdString("hello"));
    s.GetBuffer(3);
    s.ReleaseBuffer(3);
    EXPECT_EQ(s, CStdString("hel"));
    CStdString fresh;
    std::strcpy(fresh.GetBuffer(4), "abcd");
    fresh.ReleaseBuffer(-1);
    EXPECT_EQ(fresh.GetLength(), 4);
}

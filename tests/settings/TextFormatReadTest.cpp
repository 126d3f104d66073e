// Reading documents: layout freedom, comments, continued strings, escapes,
// every error message with its position, and hostile input that must end in
// an error, never in a crash.

#include "TestFiles.h"

#include "settings/Parser.h"
#include "settings/TextEscape.h"

#include <gtest/gtest.h>

using namespace settings_test;
using TextStorage::UnescapeText;

namespace {
std::string ValueOf(const ParseResult& r, const char* child) {
    StorageNode* node = r.root->FindChild(child);
    return node ? node->GetValue().str() : std::string("<missing>");
}
} // namespace

TEST(TextRead, TagsValuesAndBracesMayStandOnSeparateLines) {
    ParseResult r = ParseText("Root\n\n  {\n\tname\n\n   \"v\"\n  block\n{\n inner\n \"x\"\n }\n}\n");
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.root->GetName(), "Root");
    EXPECT_EQ(ValueOf(r, "name"), "v");
    StorageNode* block = r.root->FindChild("block");
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->FindChild("inner")->GetValue(), "x");
}

TEST(TextRead, CommentsAndTrailingText) {
    ParseResult r = ParseText("# heading comment\nRoot\n{\n   # an indented comment\n"
                              "    a \"1\" # after the value\n"
                              "    b \"has # inside\"\n"
                              "    c \"2\" ignored words here\n"
                              "}\n");
    ASSERT_EQ(r.error, "");
    ASSERT_EQ(r.root->GetChildCount(), 3u);
    EXPECT_EQ(ValueOf(r, "a"), "1");
    EXPECT_EQ(ValueOf(r, "b"), "has # inside");
    EXPECT_EQ(ValueOf(r, "c"), "2");
}

TEST(TextRead, BackslashAfterAValueContinuesIt) {
    ParseResult r =
        ParseText("Root\n{\n    a \"one\" \\\n\n  # comment between pieces\n      \"two\" \\\n\"three\"\n"
                  "    b \"x\" trailing \\ words\n  \"y\"\n"
                  "    c \"p\"\\\n\"q\"\n}\n");
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(ValueOf(r, "a"), "onetwothree");
    EXPECT_EQ(ValueOf(r, "b"), "xy");
    EXPECT_EQ(ValueOf(r, "c"), "pq");
}

TEST(TextRead, EscapesAndTheirErrorMarks) {
    EXPECT_EQ(UnescapeText("a\\n\\r\\t\\\\\\\"b", -1), "a\n\r\t\\\"b");
    EXPECT_EQ(UnescapeText("x\\qy", -1), "x#err#y");
    EXPECT_EQ(UnescapeText("end\\", -1), "end#err#");
    // Numeric escapes take up to three digits, greedily.
    EXPECT_EQ(UnescapeText("\\1A", -1), "\x01"
                                        "A");
    EXPECT_EQ(UnescapeText("\\12", -1), "\x0C");
    EXPECT_EQ(UnescapeText("\\0012", -1), std::string("\x01") + "2");
    EXPECT_EQ(UnescapeText("\\0", -1), std::string(1, '\0'));
    EXPECT_EQ(UnescapeText("\\999", -1), "\xE7") << "999 keeps its low 8 bits";

    ParseResult r = ParseText("R\n{\n    v \"a\\qb\\\\c\\\"d\"\n}\n");
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(ValueOf(r, "v"), "a#err#b\\c\"d");
}

TEST(TextRead, RepeatedTopLevelBlocksAndAttributes) {
    // A "}" after a value on its line is ignored with the rest of the line.
    ParseResult r = ParseText("First { a \"1\"\n}\nSecond { b \"2\" }\n}\n");
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.root->GetName(), "Second");
    EXPECT_EQ(r.root->GetChildCount(), 2u);

    ParseResult empty = ParseText("");
    EXPECT_EQ(empty.error, "");
    EXPECT_EQ(empty.root->GetChildCount(), 0u);

    ParseResult nothing = ParseText("R\n{\n    Nothing\n    {\n    }\n}\n");
    ASSERT_EQ(nothing.error, "");
    StorageNode* node = nothing.root->FindChild("Nothing");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->GetChildCount(), 0u);
    EXPECT_FALSE(node->IsLeaf()) << "an empty block has no value";
}

TEST(TextRead, CodePageAttributeStaysInTheTree) {
    ParseResult r = ParseText("R\n{\nCodePage_ \"-1\"\n    a \"x\"\n}\n");
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.codePage, -1);
    EXPECT_EQ(r.root->GetChildAt(0)->GetName(), "CodePage_");
    EXPECT_EQ(r.root->GetChildAt(0)->GetValue(), "-1");

    ParseResult unknown = ParseText("R\n{\nCodePage_ \"77777\"\n    a \"x\"\n}\n");
    EXPECT_EQ(unknown.error, "MultiByteToWideChar error = 57") << "fails on its own value";
}

TEST(TextRead, ErrorMessagesCarryRowAndColumn) {
    struct Case {
        const char* text;
        const char* error;
    } cases[] = {
        {"R\n{\n   a \"1\"\n   @\n}\n", "Tokenizer:: unknown character, at row 4, col 4"},
        {"R\n{\n   a \xC3\xA9\n}\n", "Tokenizer:: unknown character, at row 3, col 6"},
        {"R\n{\n  a \"open\n}\n", "Tokenizer:: bad string, at row 3, col 10"},
        {"R\n{\n  a \"ends in \\\n}\n", "Tokenizer:: bad string, at row 3, col 15"},
        {"R\n{\n  a \"1\" \\\n", "Tokenizer:: bad string, at row 3, col 1"},
        {"R\n{\n  a \"1\"\n", "Parser:: node parsing error, '}' missing, at row 3, col 1"},
        {"}\n", "Parser:: Missing tag!, at row 1, col 2"},
        {"R\n{\n  \"x\" \"y\"\n}\n", "Parser:: Missing tag!, at row 3, col 10"},
        {"R\n{\n  a 12\n}\n", "Parser:: Missing attr value or childs elements, at row 3, col 7"},
        {"R\n{\n  a b\n}\n", "Parser:: Missing attr value or childs elements, at row 3, col 6"},
        {"R\n{\n  a ;\n}\n", "Parser:: Missing attr value or childs elements, at row 3, col 6"},
        {"R 1.5\n", "Parser:: Missing attr value or childs elements, at row 1, col 6"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseText(c.text).error, c.error) << c.text;
}

TEST(TextRead, LinesOfMoreThan4095BytesEndTheInput) {
    std::string fits(4094 - 8, 'x'); // "    a \"" + value + "\"" is 4094 bytes
    ParseResult ok = ParseText("R\n{\n    a \"" + std::string(4094 - 8, 'x') + "\"\n}\n");
    ASSERT_EQ(ok.error, "");
    EXPECT_EQ(ValueOf(ok, "a"), fits);

    // 4095 bytes: the value is complete but the line feed is not read, so
    // the input ends there.
    EXPECT_EQ(ParseText("R\n{\n    a \"" + std::string(4095 - 8, 'x') + "\"\n}\n").error,
              "Parser:: node parsing error, '}' missing, at row 3, col 4096");
    // 4096 bytes: the closing quote lies beyond the buffer.
    EXPECT_EQ(ParseText("R\n{\n    a \"" + std::string(4096 - 8, 'x') + "\"\n}\n").error,
              "Tokenizer:: bad string, at row 3, col 4096");

    std::string blanks(5000, ' ');
    EXPECT_EQ(ParseText("R\n{\n    a \"1\"" + blanks + "\n}\n").error,
              "Parser:: node parsing error, '}' missing, at row 3, col 4096");

    ParseResult top = ParseText("R\n{\n    a \"1\"\n}\n" + blanks + "junk that is never read\n");
    EXPECT_EQ(top.error, "") << "at the top level the document simply ends there";
    EXPECT_EQ(ValueOf(top, "a"), "1");
}

TEST(TextRead, HostileInputEndsInAnErrorNotACrash) {
    // NUL bytes end the input wherever they stand.
    EXPECT_EQ(ParseText(std::string(10000, '\0')).error, "");
    EXPECT_EQ(ParseText("R\n{\n  a \"x" + std::string(1, '\0') + "\"\n}\n").error,
              "Tokenizer:: bad string, at row 3, col 7");
    // A string that never closes, over many long lines.
    std::string open = "R { a \"";
    for (int i = 0; i < 50; ++i)
        open += std::string(6000, 'q') + "\\\n";
    EXPECT_NE(ParseText(open).error, "");
    // Continuations without end, each piece a fresh line.
    std::string pieces = "R { a \"x\" \\\n";
    for (int i = 0; i < 2000; ++i)
        pieces += "\"" + std::string(3000, 'p') + "\" \\\n";
    EXPECT_EQ(ParseText(pieces).error, "Tokenizer:: bad string, at row 2001, col 1");
}

TEST(TextRead, NestingIsBoundedSoTheStackCannotOverflow) {
    auto nested = [](int levels) {
        std::string text;
        for (int i = 0; i < levels; ++i)
            text += "n{\n";
        text += "leaf \"v\"\n";
        for (int i = 0; i < levels; ++i)
            text += "}\n";
        return text;
    };
    ParseResult deepest = ParseText(nested(TextStorage::Parser::kMaxDepth));
    ASSERT_EQ(deepest.error, "");
    EXPECT_EQ(ParseText(nested(TextStorage::Parser::kMaxDepth + 1)).error,
              "Parser:: too deeply nested, at row 257, col 3");

    std::string hostile;
    for (int i = 0; i < 200000; ++i)
        hostile += (i % 1000 == 999) ? "n{\n" : "n{";
    EXPECT_NE(ParseText(hostile).error, "");
}

// Writing trees: value pieces of 64 bytes, blocks for every node that is not
// a leaf, escapes, the Catalog document, and trees that must read back as
// they were written.

#include "TestFiles.h"

#include "settings/Parser.h"
#include "settings/StorageException.h"
#include "settings/TextEscape.h"
#include "settings/TextWriter.h"

#include <gtest/gtest.h>

using namespace settings_test;
using TextStorage::TextNode;

namespace {
std::unique_ptr<TextNode> OneValueTree(const std::string& value) {
    auto root = std::make_unique<TextNode>();
    root->SetName("R");
    root->AddChild("v")->SetValue(CString(value));
    return root;
}
std::string WrittenValue(const std::string& value) {
    return WrittenText(*OneValueTree(value));
}

// The tree of the Catalog document, without its code page line.
std::unique_ptr<TextNode> CatalogTree() {
    auto root = std::make_unique<TextNode>();
    root->SetName("Catalog");
    root->AddChild("Count")->SetValue("42");
    root->AddChild("Title")->SetValue("Holiday \"2009\"\nsecond line");
    root->AddChild("Long")->SetValue("0123456789012345678901234567890123456789012345678901234567890123"
                                     "4567");
    root->AddChild("Empty")->SetValue("");
    root->AddChild("Owner")->AddChild("Name")->SetValue("C:\\Users\\Public");
    root->AddChild("Nothing");
    const unsigned char blob[] = {0x00, 0xFF, 0x10};
    root->AddChild("Blob")->SetBinary(blob, 3);
    return root;
}

[[maybe_unused]] std::string WithoutLine(std::string text, const std::string& line) {
    size_t at = text.find(line + "\n");
    if (at != std::string::npos)
        text.erase(at, line.size() + 1);
    return text;
}
} // namespace

TEST(TextWrite, ValuesUpTo64BytesStayOnOneLine) {
    std::string v64(64, 'a'), v65(65, 'b'), v129(129, 'c');
    EXPECT_EQ(WrittenValue((v64)), "R\n{\n    v \"" + v64 + "\"\n}\n");
    EXPECT_EQ(WrittenValue((v65)), "R\n{\n    v \"" + std::string(64, 'b') + "\" \\\n        \"b\"\n}\n");
    EXPECT_EQ(WrittenValue((v129)), "R\n{\n    v \"" + std::string(64, 'c') + "\" \\\n        \"" +
                                        std::string(64, 'c') + "\" \\\n        \"c\"\n}\n");
    // Pieces are cut before escaping: 64 quotes make a 128-character piece.
    std::string quotes(65, '"');
    std::string escaped64;
    for (int i = 0; i < 64; ++i)
        escaped64 += "\\\"";
    EXPECT_EQ(WrittenValue((quotes)), "R\n{\n    v \"" + escaped64 + "\" \\\n        \"\\\"\"\n}\n");
}

TEST(TextWrite, EmptyValuesEmptyNodesAndNodesWithBoth) {
    EXPECT_EQ(WrittenValue(("")), "R\n{\n    v \"\"\n}\n");
    TextNode root;
    root.SetName("R");
    root.AddChild("Nothing");
    StorageNode* both = root.AddChild("Both");
    both->SetValue("lost");
    both->AddChild("kid")->SetValue("k");
    EXPECT_EQ(WrittenText(root),
              "R\n{\n    Nothing\n    {\n    }\n    Both\n    {\n        kid \"k\"\n    }\n}\n");
}

TEST(TextWrite, EscapesControlCharactersQuotesAndBackslashes) {
    EXPECT_EQ(TextStorage::EscapeText("a\nb\rc\td\\e\"f", -1), "a\\nb\\rc\\td\\\\e\\\"f");
    EXPECT_EQ(TextStorage::EscapeText(std::string("\x01"
                                                  "A\x1B"
                                                  "z") +
                                          std::string(1, '\0'),
                                      -1),
              "\\1A\\27z\\0");
    EXPECT_EQ(TextStorage::EscapeText("\x7F\x80\xFF", -1), "\x7F\x80\xFF") << "bytes above 31 stay";
}

TEST(TextWrite, ControlCharacterBeforeADigitReadsBackUnchanged) {
    // "\1" followed by "2" would read back as the single character 12; the
    // writer spells the number out with three digits instead.
    std::string value = std::string("\x01") + "2" + std::string(1, '\0') + "7\x1F";
    EXPECT_EQ(TextStorage::EscapeText(CString(value), -1), "\\0012\\0007\\31");
    // Also when the digit opens the next 64-byte piece.
    std::string across = std::string(63, 'x') + "\x05" + "9tail";
    for (const std::string& v : {value, across}) {
        ParseResult back = ParseText(WrittenValue((v)));
        ASSERT_EQ(back.error, "");
        EXPECT_EQ(back.root->FindChild("v")->GetValue().str(), v);
    }
}

TEST(TextWrite, AwkwardValuesReadBackUnchanged) {
    std::string every;
    for (int c = 1; c < 256; ++c)
        every += char(c);
    every += std::string(1, '\0') + "after NUL # not a comment \\ no continuation";
    for (const std::string& v :
         {every, std::string(300, '\\'), std::string("#err#"), std::string(1000, '\n')}) {
        ParseResult back = ParseText(WrittenValue((v)));
        ASSERT_EQ(back.error, "");
        EXPECT_EQ(back.root->FindChild("v")->GetValue().str(), v);
    }
}

TEST(TextWrite, CatalogDocument) {
    auto tree = CatalogTree();
    std::string fixture = FixtureText("catalog-example.txt");
#ifdef _WIN32
    EXPECT_EQ(WrittenText(*tree, 1252), fixture);
#else
    // No code pages here: the same document without its code page line.
    EXPECT_THROW(WrittenText(*tree, 1252), TextStorage::Exception);
    EXPECT_EQ(WrittenText(*tree, -1), WithoutLine(fixture, "CodePage_ \"1252\""));
    fixture = WithoutLine(fixture, "CodePage_ \"1252\"");
#endif
    ParseResult back = ParseText(fixture);
    ASSERT_EQ(back.error, "");
#ifdef _WIN32
    EXPECT_EQ(back.codePage, 1252);
    ASSERT_EQ(back.root->GetChildAt(0)->GetName(), "CodePage_");
    EXPECT_EQ(back.root->GetChildAt(0)->GetValue(), "1252");
    back.root->RemoveChildAt(0);
#endif
    EXPECT_EQ(TreeDifference(*tree, *back.root), "");
    unsigned count = 0;
    const unsigned char* blob = back.root->FindChild("Blob")->GetBinary(count);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(blob[1], 0xFF);
}

TEST(TextWrite, TreesTheReaderCouldNotTakeAreRefused) {
    TextNode root;
    root.SetName("R");
    StorageNode* node = &root;
    for (int i = 0; i < TextStorage::Parser::kMaxDepth + 1; ++i)
        node = node->AddChild("n");
    EXPECT_THROW(WrittenText(root), TextStorage::Exception);

    TextNode longName;
    longName.SetName("R");
    longName.AddChild(CString(std::string(4100, 'n')))->SetValue("v");
    EXPECT_THROW(WrittenText(longName), TextStorage::Exception);
}

TEST(TextWrite, TagNamesLoseTheTenSpecialCharacters) {
    EXPECT_EQ(TextStorage::MakeTagName("a b{c}d,e\\f/g\"h!i:j.k"), "a_b_c_d_e_f_g_h_i_j_k");
    EXPECT_EQ(TextStorage::MakeTagName("Norvane"), "Norvane");
}

#ifdef _WIN32
TEST(TextWrite, MultibyteValuesReadBackUnderTheirCodePage) {
    // In Shift-JIS the second byte of this character is a backslash; values
    // are escaped through the same code page the reader unescapes them with.
    std::string value = "\x95\x5C" "C:\\x";
    ParseResult back = ParseText(WrittenText(*OneValueTree(value), 932));
    ASSERT_EQ(back.error, "");
    EXPECT_EQ(back.codePage, 932);
    EXPECT_EQ(back.root->FindChild("v")->GetValue().str(), value);
}
#endif

// The tree itself: ownership, lookup by the name a child was added under,
// removal, and the hexadecimal children of binary values.

#include "settings/TextNode.h"

#include <gtest/gtest.h>

using TextStorage::TextNode;

TEST(StorageTree, ChildrenKeepOrderAndDuplicateNamesFindTheFirst) {
    TextNode root;
    root.AddChild("a")->SetValue("1");
    root.AddChild("b")->SetValue("2");
    root.AddChild("a")->SetValue("3");
    ASSERT_EQ(root.GetChildCount(), 3u);
    EXPECT_EQ(root.FindChild("a")->GetValue(), "1");
    EXPECT_EQ(root.GetChildAt(2)->GetValue(), "3");
    EXPECT_EQ(root.GetChildAt(3), nullptr);
    EXPECT_EQ(root.FindChild("A"), nullptr) << "lookup is case-sensitive";
    EXPECT_EQ(root.FindChild("aa"), nullptr);

    root.RemoveChild("a");
    ASSERT_EQ(root.GetChildCount(), 2u);
    EXPECT_EQ(root.FindChild("a")->GetValue(), "3");
    root.RemoveChild("missing");
    root.RemoveChildAt(0);
    EXPECT_EQ(root.GetChildAt(0)->GetValue(), "3");
    root.RemoveChildAt(7); // past the end: nothing
    EXPECT_EQ(root.GetChildCount(), 1u);
    root.RemoveAllChildren();
    EXPECT_EQ(root.GetChildCount(), 0u);
}

TEST(StorageTree, LookupUsesTheNameTheChildWasAddedUnder) {
    TextNode root;
    root.AddChild("first")->SetName("renamed");
    EXPECT_NE(root.FindChild("first"), nullptr);
    EXPECT_EQ(root.FindChild("renamed"), nullptr);
}

TEST(StorageTree, LeafNeedsAValueAndNoChildren) {
    TextNode node;
    EXPECT_FALSE(node.IsLeaf());
    node.SetValue("");
    EXPECT_TRUE(node.IsLeaf()) << "an empty value is still a value";
    node.AddChild("child");
    EXPECT_FALSE(node.IsLeaf());
}

TEST(StorageTree, BinaryValuesGoIntoHexChildrenOf32Bytes) {
    TextNode node;
    std::vector<unsigned char> bytes(70);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(i * 37 + 5);
    node.SetBinary(bytes.data(), unsigned(bytes.size()));
    ASSERT_EQ(node.GetChildCount(), 3u);
    EXPECT_EQ(node.GetChildAt(0)->GetName(), "hex");
    EXPECT_EQ(node.GetChildAt(0)->GetValue().GetLength(), 64);
    EXPECT_EQ(node.GetChildAt(2)->GetValue().GetLength(), 12);
    unsigned count = 0;
    const unsigned char* back = node.GetBinary(count);
    ASSERT_EQ(count, 70u);
    EXPECT_EQ(std::vector<unsigned char>(back, back + count), bytes);

    TextNode three;
    const unsigned char abc[] = {0x00, 0xFF, 0x10};
    three.SetBinary(abc, 3);
    EXPECT_EQ(three.GetChildAt(0)->GetValue(), "00FF10");
}

TEST(StorageTree, GetBinaryOfEmptyOrOddValues) {
    TextNode empty;
    empty.SetBinary(nullptr, 0);
    ASSERT_EQ(empty.GetChildCount(), 1u);
    EXPECT_TRUE(empty.GetChildAt(0)->IsLeaf());
    unsigned count = 99;
    empty.GetBinary(count);
    EXPECT_EQ(count, 0u);

    // Children are taken whatever their names; an odd last digit is dropped.
    TextNode odd;
    odd.AddChild("x")->SetValue("ABC");
    odd.AddChild("y")->SetValue("0102");
    const unsigned char* bytes = odd.GetBinary(count);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(bytes[0], 0xAB);
    EXPECT_EQ(bytes[1], 0x01);
    EXPECT_EQ(bytes[2], 0x02);
}

// The framework list: order, positions and removal at any place.
#include "framework/CList.h"
#include "framework/CString.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<std::string> Items(const CList<CString>& list) {
    std::vector<std::string> out;
    for (POSITION pos = list.GetHeadPosition(); pos;)
        out.push_back(list.GetNext(pos).GetString());
    return out;
}

TEST(CList, OrderAndRemovalAtHeadMiddleTail) {
    CList<CString> list;
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetHeadPosition(), nullptr);
    list.AddTail("b");
    list.AddTail("c");
    list.AddHead("a");
    list.AddTail("d");
    EXPECT_EQ(Items(list), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(list.GetCount(), 4);

    list.RemoveAt(list.Find("b"));
    EXPECT_EQ(Items(list), (std::vector<std::string>{"a", "c", "d"}));
    EXPECT_EQ(list.RemoveHead(), "a");
    EXPECT_EQ(list.RemoveTail(), "d");
    EXPECT_EQ(Items(list), (std::vector<std::string>{"c"}));
    EXPECT_EQ(list.GetHead(), "c");
    EXPECT_EQ(list.GetTail(), "c");
    list.RemoveAt(list.GetHeadPosition());
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetTailPosition(), nullptr);
    list.AddTail("again");
    EXPECT_EQ(Items(list), (std::vector<std::string>{"again"}));
}

TEST(CList, InsertFindIndexAndCopy) {
    CList<CString> list;
    POSITION b = list.AddTail("b");
    list.InsertBefore(b, "a");
    list.InsertAfter(b, "c");
    EXPECT_EQ(Items(list), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(list.GetAt(list.FindIndex(2)), "c");
    EXPECT_EQ(list.FindIndex(3), nullptr);
    EXPECT_EQ(list.Find("zz"), nullptr);
    EXPECT_EQ(list.Find("a", list.GetHeadPosition()), nullptr); // search starts after the head

    CList<CString> copy = list;
    list.SetAt(list.GetHeadPosition(), "changed");
    EXPECT_EQ(Items(copy), (std::vector<std::string>{"a", "b", "c"}));
    copy = list;
    EXPECT_EQ(copy.GetHead(), "changed");
    POSITION tail = copy.GetTailPosition();
    EXPECT_EQ(copy.GetPrev(tail), "c");
    EXPECT_EQ(copy.GetAt(tail), "b");
}

} // namespace

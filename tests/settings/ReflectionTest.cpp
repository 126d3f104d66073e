// Objects to trees and back through their layouts: the member kinds, lists
// that append, missing and unknown children, profiles, member-function
// fields and item callbacks.

#include "settings/Reflection.h"
#include "settings/TextNode.h"

#include <gtest/gtest.h>

using TextStorage::TextNode;

namespace {

struct Inner {
    CString m_strLabel;
    struct Layout : ClassLayout<Inner> {
        Layout() : ClassLayout<Inner>("Inner") {
            AddValueField("Label", &Inner::m_strLabel);
            SelectProfile("Short");
        }
    };
};

struct Record {
    CString m_strName;
    unsigned int m_nCount = 0;
    CList<CString> m_lstItems;
    Inner m_inner;
    int m_nLoads = 0, m_nSaves = 0, m_nBoth = 0;
    bool Loaded() { return ++m_nLoads, true; }
    bool Saved() { return ++m_nSaves, true; }
    bool Either() { return ++m_nBoth, true; }

    struct Layout : ClassLayout<Record> {
        Layout() : ClassLayout<Record>("Record") {
            AddValueField("Name", &Record::m_strName);
            AddValueField("Count", &Record::m_nCount);
            AddContainerField("Items", &Record::m_lstItems);
            AddValueField("Inner part", &Record::m_inner);
            AddMemFunCallField(0, &Record::Loaded);
            AddMemFunCallField(1, &Record::Saved);
            AddMemFunCallField(2, &Record::Either);
            AddMemFunCallField(7, &Record::Either);
            SelectProfile("Short");
            AddValueField("Name", &Record::m_strName);
            AddValueField("Inner part", &Record::m_inner);
        }
    };
};

std::vector<std::string> Items(const CList<CString>& list) {
    std::vector<std::string> out;
    for (POSITION pos = list.GetHeadPosition(); pos;)
        out.push_back(list.GetNext(pos).str());
    return out;
}

void Write(Record& r, TextNode& node, const char* profile = nullptr) {
    GetMetaClass<Record>()->SelectProfile(profile);
    GetMetaClass<Record>()->WriteText(&node, &r);
}
void Read(Record& r, TextNode& node, const char* profile = nullptr) {
    GetMetaClass<Record>()->SelectProfile(profile);
    GetMetaClass<Record>()->ReadText(&node, &r);
}

Record Sample() {
    Record r;
    r.m_strName = "name \"quoted\"";
    r.m_nCount = 4294967295u;
    r.m_lstItems.AddTail("one");
    r.m_lstItems.AddTail("");
    r.m_lstItems.AddTail("three");
    r.m_inner.m_strLabel = "inner";
    return r;
}

} // namespace

TEST(Reflection, WrittenObjectReadsBackIntoAFreshOne) {
    Record r = Sample();
    TextNode node;
    Write(r, node);
    ASSERT_EQ(node.GetChildCount(), 4u) << "one child per named field, none for member-function fields";
    EXPECT_EQ(node.GetChildAt(0)->GetName(), "Name");
    EXPECT_EQ(node.FindChild("Count")->GetValue(), "-1");
    EXPECT_NE(node.FindChild("Inner_part"), nullptr);
    StorageNode* items = node.FindChild("Items");
    ASSERT_EQ(items->GetChildCount(), 3u);
    EXPECT_EQ(items->GetChildAt(1)->GetName(), "Item");
    EXPECT_TRUE(items->GetChildAt(1)->IsLeaf());

    Record back;
    Read(back, node);
    EXPECT_EQ(back.m_strName, r.m_strName);
    EXPECT_EQ(back.m_nCount, 4294967295u);
    EXPECT_EQ(Items(back.m_lstItems), Items(r.m_lstItems));
    EXPECT_EQ(back.m_inner.m_strLabel, "inner");
}

TEST(Reflection, UnsignedIntTextFollowsAtoi) {
    struct Case {
        const char* text;
        unsigned int value;
    } cases[] = {{"-1", 4294967295u},
                 {"  42xyz", 42u},
                 {"abc", 0u},
                 {"+7", 7u},
                 {"99999999999", 2147483647u},
                 {"-99999999999", 2147483648u},
                 {"2147483648", 2147483647u}};
    PrimMetaClass<unsigned int>* meta = GetMetaClass<unsigned int>();
    for (const Case& c : cases) {
        TextNode node;
        node.SetValue(c.text);
        unsigned int value = 5;
        meta->ReadText(&node, &value);
        EXPECT_EQ(value, c.value) << c.text;
    }
    unsigned int big = 2147483648u;
    TextNode written;
    meta->WriteText(&written, &big);
    EXPECT_EQ(written.GetValue(), "-2147483648");
}

TEST(Reflection, BinaryFormsOfThePrimitives) {
    unsigned int value = 0x01020304, back = 9;
    TextNode node;
    GetMetaClass<unsigned int>()->WriteBinary(&node, &value);
    EXPECT_EQ(node.GetChildAt(0)->GetValue(), "04030201");
    GetMetaClass<unsigned int>()->ReadBinary(&node, &back);
    EXPECT_EQ(back, value);
    TextNode empty;
    GetMetaClass<unsigned int>()->ReadBinary(&empty, &back);
    EXPECT_EQ(back, value) << "no bytes: unchanged";

    CString text("with\0nul", 8), textBack("old");
    TextNode strNode;
    GetMetaClass<CString>()->WriteBinary(&strNode, &text);
    GetMetaClass<CString>()->ReadBinary(&strNode, &textBack);
    EXPECT_EQ(textBack.str(), text.str());
    GetMetaClass<CString>()->ReadBinary(&empty, &textBack);
    EXPECT_EQ(textBack.str(), text.str());

    TextNode withNul;
    withNul.SetValue(text);
    GetMetaClass<CString>()->ReadText(&withNul, &textBack);
    EXPECT_EQ(textBack, "with") << "the text form stops at the first NUL";

    Record r = Sample(), rb;
    TextNode recordNode;
    GetMetaClass<Record>()->SelectProfile(nullptr);
    GetMetaClass<Record>()->WriteBinary(&recordNode, &r);
    GetMetaClass<Record>()->ReadBinary(&recordNode, &rb);
    EXPECT_EQ(rb.m_nCount, r.m_nCount);
    EXPECT_EQ(Items(rb.m_lstItems), Items(r.m_lstItems));
}

TEST(Reflection, ListsAppendAndTakeEveryChildAsAnItem) {
    TextNode node;
    StorageNode* items = node.AddChild("Items");
    items->AddChild("Item")->SetValue("a");
    items->AddChild("Other")->SetValue("b");
    items->AddChild("x")->AddChild("deep")->SetValue("ignored");
    Record r;
    r.m_lstItems.AddTail("kept");
    r.m_strName = "unchanged";
    Read(r, node);
    EXPECT_EQ(Items(r.m_lstItems), std::vector<std::string>({"kept", "a", "b", ""}));
    EXPECT_EQ(r.m_strName, "unchanged") << "a missing child leaves its member alone";

    Record empty;
    TextNode written;
    Write(empty, written);
    StorageNode* emptyList = written.FindChild("Items");
    EXPECT_EQ(emptyList->GetChildCount(), 0u);
    EXPECT_FALSE(emptyList->IsLeaf());
    Record back;
    Read(back, written);
    EXPECT_TRUE(back.m_lstItems.IsEmpty());
}

TEST(Reflection, MemberFunctionFieldsRunByTheirMode) {
    Record r;
    TextNode node;
    Write(r, node);
    EXPECT_EQ(r.m_nLoads, 0);
    EXPECT_EQ(r.m_nSaves, 1);
    EXPECT_EQ(r.m_nBoth, 1);
    Read(r, node);
    EXPECT_EQ(r.m_nLoads, 1);
    EXPECT_EQ(r.m_nSaves, 1);
    EXPECT_EQ(r.m_nBoth, 2) << "mode 7 never runs";
}

TEST(Reflection, ProfilesChooseTheFieldsAndReachNestedClasses) {
    Record r = Sample();
    TextNode shortNode;
    Write(r, shortNode, "Short");
    ASSERT_EQ(shortNode.GetChildCount(), 2u);
    StorageNode* inner = shortNode.FindChild("Inner_part");
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->GetChildCount(), 0u) << "Inner's own Short profile has no fields";

    TextNode unknown;
    Write(r, unknown, "NoSuchProfile");
    EXPECT_EQ(unknown.GetChildCount(), 0u);
    Record untouched;
    untouched.m_strName = "same";
    TextNode full;
    Write(r, full);
    Read(untouched, full, "NoSuchProfile");
    EXPECT_EQ(untouched.m_strName, "same");
    EXPECT_EQ(untouched.m_nCount, 0u);

    EXPECT_EQ(GetLayout<Record>().GetProfileName(), "NoSuchProfile") << "a profile stays selected";
    GetLayout<Record>().SelectProfile(nullptr);
    EXPECT_EQ(GetLayout<Record>().GetProfileName(), "Default");
    EXPECT_EQ(GetLayout<Record>().GetClassTag(), "Record");
}

namespace {
struct Filtered {
    CList<CString> m_lstFolders;
    int m_nCalls = 0;
    int KeepLong(CString& item) {
        ++m_nCalls;
        if (item.GetLength() > 2) {
            item += "!";
            return 2;
        }
        return 0;
    }
    static int Mode;
    struct Layout : ClassLayout<Filtered> {
        Layout() : ClassLayout<Filtered>("Filtered") {
            AddContainerField("Folders", &Filtered::m_lstFolders).SetItemCallback(Mode, &Filtered::KeepLong);
            SelectProfile("Free");
            AddContainerField("Folders", &Filtered::m_lstFolders).SetItemCallback(0, &Filtered::RejectAll);
        }
    };
    static int RejectAll(CString&) { return 0; }
};
int Filtered::Mode = 2;
} // namespace

TEST(Reflection, ItemCallbacksFilterOnReadAndAdjustOnWrite) {
    Filtered f;
    f.m_lstFolders.AddTail("ab");
    f.m_lstFolders.AddTail("abcd");
    TextNode node;
    GetMetaClass<Filtered>()->SelectProfile(nullptr);
    GetMetaClass<Filtered>()->WriteText(&node, &f);
    StorageNode* list = node.FindChild("Folders");
    ASSERT_EQ(list->GetChildCount(), 2u) << "writing adjusts but never drops";
    EXPECT_EQ(list->GetChildAt(1)->GetValue(), "abcd!");
    EXPECT_EQ(Items(f.m_lstFolders)[1], "abcd") << "the callback works on a copy";
    EXPECT_EQ(f.m_nCalls, 2);

    Filtered back;
    GetMetaClass<Filtered>()->ReadText(&node, &back);
    EXPECT_EQ(Items(back.m_lstFolders), std::vector<std::string>({"abcd!!"}));

    Filtered none;
    GetMetaClass<Filtered>()->SelectProfile("Free");
    GetMetaClass<Filtered>()->ReadText(&node, &none);
    EXPECT_TRUE(none.m_lstFolders.IsEmpty());
    GetMetaClass<Filtered>()->SelectProfile(nullptr);
}

TEST(Reflection, ItemCallbackModesDecideWhenTheyRun) {
    for (int mode : {0, 1}) {
        CList<CString> list;
        list.AddTail("abc");
        list.AddTail("x");
        Filtered owner;
        ContItemCallback<CString, Filtered, int (Filtered::*)(CString&)> callback(mode, &owner,
                                                                                  &Filtered::KeepLong);
        auto* meta = GetMetaClass<CList<CString>>();
        meta->SetItemCallback(&callback);
        TextNode node;
        meta->WriteText(&node, &list);
        CList<CString> back;
        meta->ReadText(&node, &back);
        meta->SetItemCallback(nullptr);
        if (mode == 0) {
            EXPECT_EQ(Items(back), std::vector<std::string>({"abc!"})) << "filters on reading only";
            EXPECT_EQ(node.GetChildAt(0)->GetValue(), "abc");
        } else {
            EXPECT_EQ(Items(back), std::vector<std::string>({"abc!", "x"})) << "adjusts on writing only";
        }
    }
    ContItemCallback<CString, Filtered, int (*)(CString&)> noFunction(0, nullptr, nullptr);
    CString item("i");
    EXPECT_EQ(noFunction.Call(item), 2);
}

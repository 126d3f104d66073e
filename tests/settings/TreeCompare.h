#pragma once
// Deep comparison of two storage trees as the text format carries them:
// names, the values of leaves, and the children in order.

#include "settings/StorageNode.h"

#include <string>

namespace settings_test {

// A description of the first difference, or empty when both trees are equal.
inline std::string TreeDifference(const StorageNode& a, const StorageNode& b) {
    std::string where = a.GetName().str();
    if (a.GetName() != b.GetName())
        return "names " + a.GetName().str() + " / " + b.GetName().str();
    if (a.IsLeaf() != b.IsLeaf())
        return where + ": leaf / block";
    if (a.IsLeaf())
        return a.GetValue().str() == b.GetValue().str() ? "" : where + ": values differ";
    if (a.GetChildCount() != b.GetChildCount())
        return where + ": child counts " + std::to_string(a.GetChildCount()) + " / " +
               std::to_string(b.GetChildCount());
    for (unsigned i = 0; i < a.GetChildCount(); ++i) {
        std::string diff = TreeDifference(*a.GetChildAt(i), *b.GetChildAt(i));
        if (!diff.empty())
            return where + "/" + diff;
    }
    return "";
}

} // namespace settings_test

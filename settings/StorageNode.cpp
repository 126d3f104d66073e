#include "settings/StorageNode.h"

void StorageNodeBase::RemoveChild(const CString& name) {
    for (auto it = m_children.begin(); it != m_children.end(); ++it) {
        if (it->first == name) {
            m_children.erase(it);
            return;
        }
    }
}

void StorageNodeBase::RemoveChildAt(unsigned index) {
    if (index < m_children.size())
        m_children.erase(m_children.begin() + index);
}

void StorageNodeBase::RemoveAllChildren() {
    m_children.clear();
}

StorageNode* StorageNodeBase::FindChild(const CString& name) const {
    for (const Entry& entry : m_children)
        if (entry.first == name)
            return entry.second.get();
    return nullptr;
}

StorageNode* StorageNodeBase::GetChildAt(unsigned index) const {
    return index < m_children.size() ? m_children[index].second.get() : nullptr;
}

StorageNode* StorageNodeBase::AppendChild(const CString& name, std::unique_ptr<StorageNode> child) {
    child->SetName(name);
    m_children.emplace_back(name, std::move(child));
    return m_children.back().second.get();
}

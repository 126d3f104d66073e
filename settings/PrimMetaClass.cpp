#include "settings/PrimMetaClass.h"

#include "settings/Tokenizer.h"

#include <string>

void PrimMetaClass<CString>::ReadText(StorageNode* node, CString* value) {
    if (node)
        *value = node->GetValue().GetString(); // stops at the first NUL byte
}

void PrimMetaClass<CString>::WriteText(StorageNode* node, CString* value) {
    if (node)
        node->SetValue(*value);
}

void PrimMetaClass<CString>::ReadBinary(StorageNode* node, CString* value) {
    if (!node)
        return;
    unsigned count = 0;
    const unsigned char* bytes = node->GetBinary(count);
    if (count)
        *value = CString(std::string(reinterpret_cast<const char*>(bytes), count));
}

void PrimMetaClass<CString>::WriteBinary(StorageNode* node, CString* value) {
    if (node)
        node->SetBinary(value->str().data(), unsigned(value->str().size()));
}

void PrimMetaClass<unsigned int>::ReadText(StorageNode* node, unsigned int* value) {
    if (node)
        *value = static_cast<unsigned int>(TextStorage::ReadIntLikeAtoi(node->GetValue()));
}

void PrimMetaClass<unsigned int>::WriteText(StorageNode* node, unsigned int* value) {
    if (node)
        node->SetValue(CString(std::to_string(static_cast<int>(*value))));
}

void PrimMetaClass<unsigned int>::ReadBinary(StorageNode* node, unsigned int* value) {
    if (!node)
        return;
    unsigned count = 0;
    const unsigned char* bytes = node->GetBinary(count);
    if (count >= 4)
        *value = unsigned(bytes[0]) | unsigned(bytes[1]) << 8 | unsigned(bytes[2]) << 16 |
                 unsigned(bytes[3]) << 24;
}

void PrimMetaClass<unsigned int>::WriteBinary(StorageNode* node, unsigned int* value) {
    if (!node)
        return;
    unsigned char bytes[4] = {static_cast<unsigned char>(*value), static_cast<unsigned char>(*value >> 8),
                              static_cast<unsigned char>(*value >> 16),
                              static_cast<unsigned char>(*value >> 24)};
    node->SetBinary(bytes, 4);
}

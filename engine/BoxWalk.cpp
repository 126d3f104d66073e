#include "engine/BoxWalk.h"

#include "engine/ByteOrder.h"

#include <cstring>

namespace layout {

bool Box::Is(const char* name) const {
    return std::memcmp(type, name, 4) == 0;
}

bool Box::IsXmp() const {
    static const uint8_t kXmpUuid[16] = {0xbe, 0x7a, 0xcf, 0xcb, 0x97, 0xa9, 0x42, 0xe8,
                                         0x9c, 0x71, 0x99, 0x94, 0x91, 0xe3, 0xaf, 0xac};
    return Is("uuid") && std::memcmp(uuid, kXmpUuid, 16) == 0;
}

std::vector<Box> ListBoxes(stdlib::Stream& file, uint64_t from, uint64_t to) {
    std::vector<Box> boxes;
    const uint64_t fileSize = file.GetSize();
    if (to > fileSize)
        to = fileSize;
    for (uint64_t at = from; at < to && to - at >= 8 && boxes.size() < kMaxBoxes;) {
        uint8_t head[16];
        if (!file.SetPos(at) || file.Read(head, 1, 8) != 8)
            break;
        Box box;
        std::memcpy(box.type, head + 4, 4);
        box.start = at;
        uint64_t size = stdlib::LoadUnsigned(head, 4, true);
        uint64_t header = 8;
        if (size == 1) {
            if (to - at < 16 || file.Read(head + 8, 1, 8) != 8)
                break;
            size = stdlib::LoadUnsigned(head + 8, 8, true);
            header = 16;
        } else if (size == 0) {
            size = to - at;
        }
        if (box.Is("uuid")) {
            if (to - at < header + 16 || !file.SetPos(at + header) || file.Read(box.uuid, 1, 16) != 16)
                break;
            header += 16;
        }
        if (size < header)
            break;
        box.body = at + header;
        if (size > to - at) {
            box.cut = true;
            size = to - at;
        }
        box.end = at + size;
        boxes.push_back(box);
        at = box.end;
    }
    return boxes;
}

bool ReadBody(stdlib::Stream& file, const Box& box, uint64_t limit, std::vector<uint8_t>& body) {
    const uint64_t size = box.BodySize();
    if (size > limit)
        return false;
    body.resize(size_t(size));
    return size == 0 || (file.SetPos(box.body) && file.Read(body.data(), 1, body.size()) == body.size());
}

} // namespace layout

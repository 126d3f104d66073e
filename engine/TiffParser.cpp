#include "engine/TiffParser.h"

#include "engine/ByteOrder.h"

#include <cstring>
#include <limits>
#include <new>

namespace {

// Bytes of one value by TIFF type; types above 18 are unknown.
constexpr uint8_t kElementSizes[19] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4, 2, 0, 8, 8, 8};

constexpr uint16_t kTagSubIfds = 330;
constexpr uint16_t kTagGpsIfd = 34853;
constexpr uint16_t kTagExifIfd = 34665;

bool IsRationalType(uint16_t type) {
    return type == 5 || type == 10;
}

// Total value bytes of an entry, saturated instead of wrapping.
uint64_t ValueBytes(uint32_t elemSize, uint64_t count) {
    if (elemSize && count > std::numeric_limits<uint64_t>::max() / elemSize)
        return std::numeric_limits<uint64_t>::max();
    return elemSize * count;
}

// Turns values stored in the data's byte order into host values in place.
// Rationals are two 32-bit numbers; other 8-byte values are one number.
void ToHostOrder(uint8_t* data, uint64_t bytes, uint16_t type, uint32_t elemSize, bool bigEndian) {
    unsigned unit = elemSize == 8 && IsRationalType(type) ? 4 : elemSize;
    if (unit < 2)
        return;
    for (uint64_t at = 0; at + unit <= bytes; at += unit) {
        uint64_t v = stdlib::LoadUnsigned(data + at, unit, bigEndian);
        if (unit == 2) {
            uint16_t h = uint16_t(v);
            std::memcpy(data + at, &h, 2);
        } else if (unit == 4) {
            uint32_t h = uint32_t(v);
            std::memcpy(data + at, &h, 4);
        } else {
            std::memcpy(data + at, &v, 8);
        }
    }
}

} // namespace

bool IFDItem::IsInline(uint32_t inlineSize) const {
    return ValueBytes(elemSize, count) <= inlineSize;
}

IFD::IFD() {
    items.reserve(kTagSlots + 32);
    for (uint32_t i = 0; i < kTagSlots; ++i)
        items.append(nullptr);
}

uint32_t Parser::ElementSize(uint16_t type) {
    return type < 19 ? kElementSizes[type] : 0;
}

Parser::Parser(stdlib::Stream& s, uint64_t b, bool st) : stream(s), base(b), strict(st) {}

Parser::~Parser() {
    FreeValue();
}

void Parser::FreeValue() {
    delete[] valueData;
    valueData = nullptr;
    valueBytes = 0;
}

bool Parser::ReadHeader() {
    if (!stream.Seek(int64_t(base), 0) || stream.Read(header, 1, 8) != 8)
        return false;
    if (header[0] == 'M' && header[1] == 'M')
        bigEndian = true;
    else if (header[0] == 'I' && header[1] == 'I')
        bigEndian = false;
    else
        return false;
    stream.bigEndian = bigEndian;
    uint16_t version = uint16_t(stdlib::LoadUnsigned(header + 2, 2, bigEndian));
    if (version == 43) {
        if (stdlib::LoadUnsigned(header + 4, 2, bigEndian) != 8 ||
            stdlib::LoadUnsigned(header + 6, 2, bigEndian) != 0)
            return false;
        bigTiff = true;
        inlineSize = 8;
        headerSize = 16;
        nextOffset = stream.ReadU64();
        return !stream.IsEof();
    }
    if (version != 42 && strict)
        return false;
    bigTiff = false;
    inlineSize = 4;
    headerSize = 8;
    nextOffset = stdlib::LoadUnsigned(header + 4, 4, bigEndian);
    return true;
}

bool Parser::Parse() {
    ifds.clear();
    indexOf.clear();
    visited.clear();
    current = 0;
    ifdsRead = 0;
    entriesRead = 0;
    depth = 0;
    uint64_t size = stream.GetSize();
    valueBudget = kValueBudgetBase + (size > (1ull << 40) ? (1ull << 40) : 2 * size);
    if (!ReadHeader())
        return false;
    while (nextOffset != 0) {
        if (base + nextOffset < headerSize || base + nextOffset >= size)
            break;
        nextOffset = ReadIFD(nextOffset);
    }
    return ifdsRead > 0;
}

int Parser::FindIFD(uint64_t offset, uint64_t b) const {
    auto found = indexOf.find({offset, b});
    return found == indexOf.end() ? -1 : int(found->second);
}

void Parser::BeginIFD(uint64_t offset) {
    IFD* ifd = new IFD;
    ifd->base = base;
    ifd->offset = offset;
    ifd->parent = current;
    ifds.append(ifd);
    current = ifds.GetCount() - 1;
    indexOf[{offset, base}] = current;
}

void Parser::EndIFD(uint64_t next) {
    IFD* ifd = ifds[current];
    ifd->next = next;
    current = ifd->parent;
}

void Parser::OnItem(IFDItem&) {}

void Parser::RemoveCurrentIFD() {
    uint32_t gone = current;
    uint32_t parent = ifds[gone]->parent;
    ifds.remove_at(gone);
    // Directories begun after it (its SubIFDs) move down one place.
    indexOf.clear();
    for (uint32_t i = 0; i < ifds.GetCount(); ++i) {
        IFD* ifd = ifds[i];
        if (ifd->parent == gone)
            ifd->parent = parent;
        else if (ifd->parent > gone)
            --ifd->parent;
        indexOf[{ifd->offset, ifd->base}] = i;
    }
    current = parent > gone ? parent - 1 : parent;
}

uint64_t Parser::ReadIFD(uint64_t offset) {
    if (offset == 0 || !visited.insert({offset, base}).second)
        return 0;
    if (ifds.GetCount() >= kMaxIfds || entriesRead >= kMaxEntriesRead)
        return 0;
    if (offset > std::numeric_limits<uint64_t>::max() - base || !stream.SetPos(base + offset))
        return 0;
    BeginIFD(offset);

    uint64_t n = bigTiff ? (stream.ReadU64() & 0xFFFFFFFFu) : stream.ReadU16();
    if (stream.IsEof()) {
        EndIFD(0); // stays listed, empty, and does not count as read
        return 0;
    }
    const bool ascending = n > 1024;
    const uint64_t size = stream.GetSize();
    bool bad = false;
    uint32_t stored = 0;
    uint16_t lastTag = 0;
    for (uint64_t i = 0; i < n && !stream.IsEof(); ++i) {
        if (++entriesRead > kMaxEntriesRead) {
            bad = true; // out of budget: keep what was read, follow nothing more
            break;
        }
        Entry e;
        e.tag = stream.ReadU16();
        e.type = stream.ReadU16();
        e.count = bigTiff ? stream.ReadU64() : stream.ReadU32();
        e.fieldPos = stream.Tell();
        e.value = bigTiff ? stream.ReadU64() : stream.ReadU32();
        if (stream.IsEof())
            break; // a cut entry is no entry
        uint64_t after = stream.Tell();
        if ((ascending && e.tag <= lastTag) || e.type > 18) {
            bad = true;
            break;
        }
        uint64_t bytes = ValueBytes(ElementSize(e.type), e.count);
        bool outside = bytes > inlineSize && (e.value > size || base > size - e.value);
        if (!outside) {
            IFDItem* item = MakeItem(e);
            ++stored;
            if (item->tag == kTagSubIfds)
                ReadSubIfds(*item);
            lastTag = e.tag;
        }
        stream.SetPos(after);
    }
    if (bad && stored == 0) {
        RemoveCurrentIFD();
        return 0;
    }
    if (bad || stream.IsEof()) {
        EndIFD(0);
        ++ifdsRead;
        return 0;
    }
    uint64_t next = bigTiff ? stream.ReadU64() : stream.ReadU32();
    if (stream.IsEof())
        next = 0;
    EndIFD(next);
    ++ifdsRead;
    return next;
}

void Parser::ReadSubIfds(const IFDItem& item) {
    if (depth >= kMaxSubIfdDepth)
        return;
    ++depth;
    const uint64_t size = stream.GetSize();
    uint64_t values = item.elemSize ? item.loaded / item.elemSize : 0;
    for (uint64_t j = 0; j < values && j < item.count; ++j) {
        uint64_t o = GetInt(item, j);
        while (o >= headerSize && o < size && ifds.GetCount() < kMaxIfds)
            o = ReadIFD(o);
    }
    --depth;
}

bool Parser::LoadValue(const Entry& e) {
    FreeValue();
    uint32_t elemSize = ElementSize(e.type);
    uint64_t bytes = ValueBytes(elemSize, e.count);
    if (bytes <= inlineSize) {
        std::memset(inlineValue, 0, sizeof inlineValue);
        // Back to the file's byte sequence, then element by element to host order.
        stdlib::StoreUnsigned(inlineValue, e.value, inlineSize, bigEndian);
        ToHostOrder(inlineValue, bytes, e.type, elemSize, bigEndian);
        valueBytes = bytes;
        return true;
    }
    // Only bytes that exist are loaded, within the budget; the rest of the
    // declared values reads as 0.
    uint64_t size = stream.GetSize();
    uint64_t start = base + e.value;
    uint64_t available = start < size ? size - start : 0;
    uint64_t want = bytes < available ? bytes : available;
    if (want > valueBudget)
        want = valueBudget;
    if (want == 0 || !stream.SetPos(start))
        return false;
    valueData = new (std::nothrow) uint8_t[want];
    if (!valueData)
        return false;
    uint64_t got = stream.Read(valueData, 1, size_t(want));
    valueBudget -= got;
    if (elemSize)
        got -= got % elemSize; // a partial value is no value
    ToHostOrder(valueData, got, e.type, elemSize, bigEndian);
    valueBytes = got;
    return got > 0;
}

IFDItem* Parser::MakeItem(const Entry& e) {
    LoadValue(e);
    IFDItem* item = new IFDItem;
    item->tag = e.tag;
    item->type = e.type;
    item->count = e.count;
    item->value = e.value;
    item->elemSize = ElementSize(e.type);
    item->fieldPos = e.fieldPos;
    item->loaded = valueBytes;
    if (valueData) {
        item->data = valueData;
        valueData = nullptr;
        valueBytes = 0;
    } else {
        std::memcpy(item->inlineData, inlineValue, sizeof inlineValue);
    }
    IFD* ifd = ifds[current];
    if (e.tag >= IFD::kTagSlots) {
        ifd->items.append(item);
    } else if (IFDItem* earlier = ifd->items[e.tag]) {
        // A repeated tag: its last entry holds the slot, as readers that
        // look a tag up expect, and the earlier one moves behind the slots.
        // Both stay: whatever a reader shows, every entry's values count.
        ifd->items.append(nullptr);
        ifd->items[ifd->items.GetCount() - 1] = earlier;
        ifd->items[e.tag] = item;
    } else {
        ifd->items[e.tag] = item;
    }
    OnItem(*item);
    return item;
}

bool Parser::GetGpsIfdOffset(uint32_t& out) {
    IFDItem* item = FindItem(-1, kTagGpsIfd);
    return item && PointerValue(*item, out);
}

bool Parser::PointerValue(const IFDItem& item, uint32_t& out) {
    if (item.count == 0)
        return false;
    switch (item.type) {
    case 1:
    case 3:
    case 4:
    case 6:
    case 8:
    case 9:
    case 13:
    case 16:
    case 17:
    case 18:
        out = uint32_t(GetInt(item, 0));
        return true;
    case 5:
    case 10:
    case 11:
    case 12: {
        double v = GetRealF(item, 0);
        // A NaN or a number no 32-bit integer holds is no offset.
        if (!(v > -2147483649.0 && v < 4294967296.0))
            return false;
        out = uint32_t(int64_t(v));
        return true;
    }
    default:
        return false;
    }
}

void Parser::ReadGpsDirectories() {
    // Directories read here are looked at too: the list grows as it is walked.
    // Exif directories are read for the GPS directories they point to: some
    // writers put the GPS pointer there instead of in IFD0.
    for (uint32_t d = 0; d < ifds.GetCount(); ++d) {
        for (uint32_t i = IFD::kTagSlots; i < ifds[d]->items.GetCount(); ++i) {
            const IFDItem* item = ifds[d]->items[i];
            uint32_t offset = 0;
            if ((item->tag != kTagGpsIfd && item->tag != kTagExifIfd) || !PointerValue(*item, offset) ||
                FindIFD(offset, 0) != -1)
                continue;
            uint32_t saved = current;
            current = d;
            ReadIFD(offset); // a GPS or Exif directory's next offset leads nowhere
            current = saved;
        }
    }
}

IFDItem* Parser::FindItem(int ifdIndex, uint16_t tag) const {
    uint32_t from = ifdIndex < 0 ? 0 : uint32_t(ifdIndex);
    uint32_t to = ifdIndex < 0 ? ifds.GetCount() : from + 1;
    for (uint32_t d = from; d < to; ++d) {
        const IFD* ifd = ifds[d];
        if (tag < IFD::kTagSlots) {
            if (IFDItem* item = ifd->items[tag])
                return item;
            continue;
        }
        for (uint32_t i = IFD::kTagSlots; i < ifd->items.GetCount(); ++i)
            if (ifd->items[i]->tag == tag)
                return ifd->items[i];
    }
    return nullptr;
}

uint64_t Parser::GetInt(const IFDItem& item, uint64_t k) {
    unsigned size = item.elemSize;
    if (k >= item.count || !(size == 1 || size == 2 || size == 4 || size == 8))
        return 0;
    if (k >= item.loaded / size)
        return 0;
    const uint8_t* p = item.data + k * size;
    switch (size) {
    case 1:
        return *p;
    case 2: {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    case 4: {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
    default: {
        // Rationals hold two host-order halves, the numerator first.
        if (IsRationalType(item.type)) {
            uint32_t num, den;
            std::memcpy(&num, p, 4);
            std::memcpy(&den, p + 4, 4);
            return uint64_t(den) << 32 | num;
        }
        uint64_t v;
        std::memcpy(&v, p, 8);
        return v;
    }
    }
}

double Parser::GetReal(const IFDItem& item, uint64_t k) {
    if (k >= item.count)
        return 0.0;
    if (item.type == 11) {
        if (k >= item.loaded / 4)
            return 0.0;
        float f;
        std::memcpy(&f, item.data + k * 4, 4);
        return f;
    }
    if (item.type == 12) {
        if (k >= item.loaded / 8)
            return 0.0;
        double d;
        std::memcpy(&d, item.data + k * 8, 8);
        return d;
    }
    uint64_t step = item.elemSize ? item.elemSize : 8;
    if (k >= item.loaded / step || item.loaded - k * step < 8)
        return 0.0;
    uint64_t at = k * step;
    uint32_t num, den;
    std::memcpy(&num, item.data + at, 4);
    std::memcpy(&den, item.data + at + 4, 4);
    if (den == 0)
        den = 1;
    if (item.type == 10)
        return double(int32_t(num)) / double(den);
    return double(num) / double(den);
}

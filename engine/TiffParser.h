#pragma once
// Reads the image file directories (IFDs) of TIFF data, the structure inside
// a photo's EXIF data: header, directories, their entries and the entries'
// values. Image data is never decoded.
//
// Both the classic form (version 42, 32-bit offsets) and the 64-bit-offset
// form (version 43) are read. The main chain of directories is followed from
// the header, together with SubIFDs (tag 330); GPS directories (34853) and
// Exif directories (34665), for the GPS pointers they hold, are read on
// request. Every entry is kept, a tag that a directory repeats too. The
// Interoperability directory is not followed.
//
// The directories form a graph that hostile data can make as large, deep
// and cyclic as it likes, so the work is bounded: each directory is read once,
// SubIFDs nest at most kMaxSubIfdDepth deep, at most kMaxIfds directories and
// kMaxEntriesRead entries are read in all, and values are loaded only from
// bytes that exist, up to a budget; values that were not loaded read as 0.

#include "engine/GenArray.h"
#include "engine/Stream.h"

#include <cstdint>
#include <map>
#include <set>
#include <utility>

struct IFDItem {
    IFDItem() = default;
    IFDItem(const IFDItem&) = delete;
    IFDItem& operator=(const IFDItem&) = delete;
    ~IFDItem() {
        if (data != inlineData)
            delete[] data;
    }

    uint16_t tag = 0;
    uint16_t type = 0;
    uint64_t count = 0;    // number of values
    uint64_t value = 0;    // the value field: the values' offset when they do not fit it
    uint32_t elemSize = 0; // bytes per value, 0 for an unknown type
    uint8_t inlineData[8] = {};
    uint8_t* data = inlineData; // the values in host order
    uint64_t loaded = 0;        // bytes of data that hold real values
    uint64_t fieldPos = 0;      // stream position of the value field
    bool IsInline(uint32_t inlineSize) const;
};

struct IFD {
    static constexpr uint32_t kTagSlots = 576; // tags 0..575 by slot, the rest after

    IFD();
    uint64_t base = 0;
    uint64_t offset = 0;
    uint64_t next = 0;
    uint32_t parent = 0;
    gen::array_ptr<IFDItem> items;
};

class Parser {
public:
    static constexpr uint32_t kMaxIfds = 1024;
    static constexpr uint32_t kMaxSubIfdDepth = 16;
    static constexpr uint64_t kMaxEntriesRead = 1u << 17;
    static constexpr uint64_t kValueBudgetBase = 16u << 20; // plus twice the stream's size

    Parser(stdlib::Stream& stream, uint64_t base = 0, bool strict = true);
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;
    virtual ~Parser();

    // Reads the header and the main chain with its SubIFDs; true when at least
    // one directory was read to its end.
    bool Parse();
    // Reads one directory at base + offset; returns its next offset (0: none).
    uint64_t ReadIFD(uint64_t offset);
    // The first GPS directory pointer's first value as a 32-bit offset.
    bool GetGpsIfdOffset(uint32_t& out);
    // Reads the directory of every GPS and Exif pointer of every directory
    // read, those it reads included, each directory once.
    void ReadGpsDirectories();
    // A pointer entry's first value as a 32-bit offset.
    static bool PointerValue(const IFDItem& item, uint32_t& out);
    int FindIFD(uint64_t offset, uint64_t base) const;
    // ifdIndex -1 searches every directory in order.
    IFDItem* FindItem(int ifdIndex, uint16_t tag) const;

    static uint64_t GetInt(const IFDItem& item, uint64_t k);
    static double GetReal(const IFDItem& item, uint64_t k);
    static float GetRealF(const IFDItem& item, uint64_t k) { return float(GetReal(item, k)); }
    static uint32_t ElementSize(uint16_t type);

    stdlib::Stream& stream;
    uint64_t base;
    bool strict;
    uint8_t header[8] = {};
    bool bigEndian = false;
    bool bigTiff = false;
    uint32_t headerSize = 8;
    uint32_t inlineSize = 4;
    uint64_t nextOffset = 0;
    gen::array_ptr<IFD> ifds;
    uint32_t current = 0;
    uint32_t ifdsRead = 0;

protected:
    virtual void BeginIFD(uint64_t offset);
    virtual void EndIFD(uint64_t next);
    virtual void OnItem(IFDItem& item);

private:
    struct Entry {
        uint16_t tag;
        uint16_t type;
        uint64_t count;
        uint64_t value;
        uint64_t fieldPos;
    };
    bool ReadHeader();
    bool LoadValue(const Entry& entry);
    IFDItem* MakeItem(const Entry& entry);
    void RemoveCurrentIFD();
    void ReadSubIfds(const IFDItem& item);
    void FreeValue();

    uint8_t* valueData = nullptr;
    uint64_t valueBytes = 0; // bytes loaded into valueData or inlineValue
    uint8_t inlineValue[8] = {};
    std::map<std::pair<uint64_t, uint64_t>, uint32_t> indexOf; // (offset, base) -> index in ifds
    std::set<std::pair<uint64_t, uint64_t>> visited;
    uint32_t depth = 0;
    uint64_t entriesRead = 0;
    uint64_t valueBudget = 0;
};

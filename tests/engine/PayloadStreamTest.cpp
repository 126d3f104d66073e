// A payload's extents joined into one stream over the file's pages: reads
// and writes land on the right file bytes across extent and page edges, the
// changes come back as the runs that differ, and nothing ever grows.
#include "engine/PayloadStream.h"

#include "engine/MemStream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using layout::Extent;
using layout::FileOverlay;
using layout::Payload;
using layout::PayloadStream;

namespace {

constexpr uint64_t kPage = FileOverlay::kPageSize;

struct FileBytes {
    std::vector<uint8_t> bytes;
    stdlib::MemStream stream;
    explicit FileBytes(size_t size) : bytes(size) {
        for (size_t i = 0; i < size; ++i)
            bytes[i] = uint8_t(i * 7 + 3);
        stream.Write(bytes.data(), 1, bytes.size());
    }
};

TEST(PayloadStream, ExtentsJoinAcrossPagesAndOnlyValueBytesChange) {
    FileBytes file(3 * kPage + 100);
    // Out of order, across page edges, one cut at the file's end.
    Payload payload;
    payload.extents = {{kPage - 6, 10}, {100, 5}, {2 * kPage - 2, 4}, {3 * kPage + 90, 50}};
    FileOverlay overlay(file.stream);
    PayloadStream stream(overlay, payload);
    ASSERT_EQ(stream.GetSize(), 10u + 5 + 4 + 10);

    std::vector<uint8_t> joined(29), expected;
    for (const Extent& e : payload.extents)
        for (uint64_t k = e.offset; k < e.offset + e.length && k < file.bytes.size(); ++k)
            expected.push_back(file.bytes[k]);
    ASSERT_EQ(stream.Read(joined.data(), 1, joined.size()), joined.size());
    EXPECT_EQ(joined, expected);
    EXPECT_FALSE(stream.IsEof());
    EXPECT_EQ(stream.GetByte(), 0);
    EXPECT_TRUE(stream.IsEof());

    // Bytes 8..17 of the payload: the last two of the first extent, all of
    // the second, the first three of the third.
    const std::vector<uint8_t> zeros(10, 0);
    ASSERT_TRUE(stream.SetPos(8));
    EXPECT_EQ(stream.Write(zeros.data(), 1, zeros.size()), zeros.size());
    // A payload never grows.
    ASSERT_TRUE(stream.SetPos(25));
    EXPECT_EQ(stream.Write(zeros.data(), 1, 5), 0u);

    std::vector<uint8_t> now = file.bytes;
    for (uint64_t k : std::vector<uint64_t>{kPage + 2, kPage + 3, 100, 101, 102, 103, 104, 2 * kPage - 2,
                                            2 * kPage - 1, 2 * kPage})
        now[k] = 0;
    std::vector<uint8_t> seen(now.size());
    ASSERT_EQ(overlay.Read(0, seen.data(), seen.size()), seen.size());
    EXPECT_EQ(seen, now);
    ASSERT_EQ(overlay.ReadOriginal(0, seen.data(), seen.size()), seen.size());
    EXPECT_EQ(seen, file.bytes);

    // Runs: 100..104 alone; kPage+2..+3 alone; the run over the page edge
    // at 2 * kPage is one.
    std::vector<layout::Change> changes = overlay.Changes();
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[0].offset, 100u);
    EXPECT_EQ(changes[0].bytes, std::vector<uint8_t>(5, 0));
    EXPECT_EQ(changes[1].offset, kPage + 2);
    EXPECT_EQ(changes[2].offset, 2 * kPage - 2);
    EXPECT_EQ(changes[2].bytes, std::vector<uint8_t>(3, 0));
}

TEST(PayloadStream, ChangesAFewBytesApartAreWrittenAsOneRun) {
    FileBytes file(1000);
    FileOverlay overlay(file.stream);
    const uint8_t zero = 0;
    for (uint64_t at : std::vector<uint64_t>{10, 40, 104, 300})
        overlay.Write(at, &zero, 1);
    std::vector<layout::Change> changes = overlay.Changes();
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].offset, 10u);
    ASSERT_EQ(changes[0].bytes.size(), 95u);
    EXPECT_EQ(changes[0].bytes[1], file.bytes[11]); // the bytes between keep their values
    EXPECT_EQ(changes[0].bytes[30], 0);
    EXPECT_EQ(changes[1].offset, 300u);
}

} // namespace

// Parses arbitrary bytes as a settings document. Whatever parses must write
// out and parse again to the same tree; anything else is a crash, a
// sanitizer report or an abort here.
//
// Only documents the file-level load accepts (a top-level block with
// children) are compared: a root without children, or one that got a value
// from a top-level attribute, has no written form that carries it.

#include "settings/TreeCompare.h" // tests/settings

#include "settings/Parser.h"
#include "settings/StorageException.h"
#include "settings/TextNode.h"
#include "settings/TextWriter.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// The tokenizer reads a stdio stream; fmemopen gives one over the bytes.
bool Parse(const std::string& text, TextStorage::TextNode& root) {
    FILE* stream = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    if (!stream)
        return false;
    bool parsed = true;
    try {
        TextStorage::Tokenizer tokenizer(stream);
        TextStorage::Parser parser(tokenizer);
        parser.Parse(root);
    } catch (const TextStorage::Exception&) {
        parsed = false;
    }
    std::fclose(stream);
    return parsed;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0; // fmemopen refuses an empty buffer
    TextStorage::TextNode first;
    if (!Parse(std::string(reinterpret_cast<const char*>(data), size), first) || first.GetChildCount() == 0)
        return 0;
    std::string written;
    try {
        TextStorage::WriteNode(written, first, 0, -1);
    } catch (const TextStorage::Exception&) {
        return 0; // a tree the writer refuses (tag names too long for a line)
    }
    TextStorage::TextNode second;
    if (!Parse(written, second)) {
        std::fprintf(stderr, "written document does not parse:\n%s\n", written.c_str());
        std::abort();
    }
    std::string difference = settings_test::TreeDifference(first, second);
    if (!difference.empty()) {
        std::fprintf(stderr, "tree changed on the way through the text: %s\n", difference.c_str());
        std::abort();
    }
    return 0;
}

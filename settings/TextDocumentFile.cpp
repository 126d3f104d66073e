#include "settings/TextDocumentFile.h"

#include "engine/FileOs.h"
#include "settings/Parser.h"
#include "settings/StorageException.h"
#include "settings/TextWriter.h"

#include <cstdio>
#include <memory>
#include <string>
#include <sys/stat.h>

namespace TextStorage {

namespace {
struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

// The sibling file is written in binary mode, so the text-mode line ends of
// the platform are put in here.
std::string WithPlatformLineEnds(const std::string& text) {
#ifdef _WIN32
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char ch : text) {
        if (ch == '\n')
            out += '\r';
        out += ch;
    }
    return out;
#else
    return text;
#endif
}
// A folder in the place of the file is never replaced: Wine's ReplaceFile
// swaps a file in over an empty folder.
bool IsFolder(const char* path) {
    struct stat st {};
    return stat(path, &st) == 0 && (st.st_mode & S_IFMT) == S_IFDIR;
}
} // namespace

bool ReadDocumentFile(const char* path, StorageNode& root, int& codePage) {
    std::unique_ptr<FILE, FileCloser> stream(std::fopen(path, "r"));
    if (!stream)
        return false;
    Tokenizer tokenizer(stream.get());
    Parser parser(tokenizer);
    parser.Parse(root);
    if (root.GetChildCount() == 0)
        throw Exception("empty tree!");
    codePage = parser.GetCodePage();
    return true;
}

bool WriteDocumentFile(const char* path, const StorageNode& root, int codePage) {
    std::string text;
    WriteNode(text, root, 0, codePage);
    if (IsFolder(path))
        return false;
    text = WithPlatformLineEnds(text);
    return fileos::WriteWholeFileSafely(path, text.data(), text.size());
}

} // namespace TextStorage

#include "TestFiles.h"

#include "settings/Parser.h"
#include "settings/StorageException.h"
#include "settings/TextWriter.h"
#include "support/TempDir.h"

#include <cstdio>
#include <fstream>
#include <iterator>

namespace settings_test {

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

std::string OnDisk(const std::string& text) {
#ifdef _WIN32
    std::string out;
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

ParseResult ParseText(const std::string& text) {
    testing_support::TempDir dir;
    std::string path = dir.file("doc.txt");
    WriteBytes(path, OnDisk(text));
    ParseResult result;
    result.root = std::make_unique<TextStorage::TextNode>();
    FILE* stream = std::fopen(path.c_str(), "r");
    if (!stream) {
        result.error = "cannot open " + path;
        return result;
    }
    try {
        TextStorage::Tokenizer tokenizer(stream);
        TextStorage::Parser parser(tokenizer);
        parser.Parse(*result.root);
        result.codePage = parser.GetCodePage();
    } catch (const TextStorage::Exception& e) {
        result.error = e.GetMessage();
    }
    std::fclose(stream);
    return result;
}

std::string WrittenText(const StorageNode& root, int codePage) {
    std::string text;
    TextStorage::WriteNode(text, root, 0, codePage);
    return text;
}

std::string FixtureText(const std::string& name) {
    return ReadBytes(std::string(NORVANE_SETTINGS_FIXTURES) + "/" + name);
}

} // namespace settings_test

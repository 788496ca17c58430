// Output files of hazelglow-render, written whole or not at all.
//
// An OutputFile writes to a temporary file in the same folder as the name
// asked for; every write, the flush and the close are checked, and only a
// complete file is renamed into place (replacing an older one). A failure,
// or an OutputFile destroyed before commit(), leaves nothing under the asked
// name and removes the temporary file. Each failure prints one line,
// "hazelglow-render: <asked name>: <reason>", once.
//
// Every file output uses it: --wav, --ansi, --cast, --dump, --png; a new
// output should too.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

class OutputFile {
public:
    // Opens the temporary file; a failure is printed, and ok() is false.
    explicit OutputFile(std::string path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // False once anything failed; later calls do nothing and return false.
    bool ok() const { return file_ != nullptr; }
    bool write(const void* bytes, size_t count);
    bool write(std::string_view bytes) { return write(bytes.data(), bytes.size()); }
    // Flushes, closes and renames into place. True when the file is there.
    bool commit();

    const std::string& path() const { return path_; }

private:
    bool fail(int error);
    void discard();

    std::string path_;
    std::string temporary_;
    FILE* file_ = nullptr;
};

// The name an output is written under until it is complete: a sibling of
// `path` that no other run uses. For writers that open the file themselves
// (the video muxer), so every output follows the same rule.
std::string temporaryName(const std::string& path);

// A whole file in one go, through an OutputFile.
bool writeWholeFile(const std::string& path, const void* bytes, size_t count);

// Flushes a stream the tool does not own (standard output for --hashes and
// --stats); a failure is printed as "hazelglow-render: <name>: <reason>".
bool flushStream(FILE* stream, const char* name);

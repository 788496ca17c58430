// Output files of hazelglow-render, written whole or not at all.
//
// A new or regular file is written under a temporary name in the same
// folder as the file asked for (a symbolic link is followed: its target is
// the file); every write, the flush and the close are checked, and only a
// complete file is renamed into place, keeping the mode and owner of the
// one it replaces. A file with other hard links keeps its identity: the
// complete temporary file is copied into it, then removed. A failure, an
// OutputFile destroyed before commit(), or a signal that ends the run
// leaves nothing under the asked name and removes the temporary file.
//
// A character device, a FIFO or standard output ("-", /dev/stdout) has no
// temporary name: it is written straight through, in order, every write
// checked. A directory or an empty name is refused. Each failure prints one
// line, "hazelglow-render: <asked name>: <reason>", once.
//
// Every file output uses it: --wav, --ansi, --cast, --dump, --png, --video; a
// new output should too.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

class OutputFile {
public:
    // For writers that open the temporary file themselves (the video muxer).
    enum class Opening { Stream, Named };

    // Opens the file to write; a failure is printed, and ok() is false.
    explicit OutputFile(std::string path, Opening opening = Opening::Stream);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // False once anything failed; later calls do nothing and return false.
    bool ok() const { return ok_; }
    bool write(const void* bytes, size_t count);
    bool write(std::string_view bytes) { return write(bytes.data(), bytes.size()); }
    // Flushes, closes and puts the file in place. True when it is there.
    bool commit();

    const std::string& path() const { return path_; }
    // Opening::Named: the name to write to, until commit(). A name that
    // cannot be used is not printed then but kept in problem() for the caller.
    const std::string& temporaryPath() const { return temporary_; }
    const std::string& problem() const { return problem_; }

private:
    bool fail(int error);
    bool report(const std::string& reason);
    bool place();
    void discard();

    std::string path_;
    std::string target_;     // the file itself, links followed
    std::string temporary_;  // empty when written straight through
    bool linked_ = false;
    bool replacing_ = false;
    bool ok_ = true;
    FILE* file_ = nullptr;
    bool ownsFile_ = true;
    int guard_ = -1;
    bool quiet_ = false;
    std::string problem_;
};

// A whole file in one go, through an OutputFile.
bool writeWholeFile(const std::string& path, const void* bytes, size_t count);

// Flushes a stream the tool does not own (standard output for --hashes and
// --stats); a failure is printed as "hazelglow-render: <name>: <reason>".
bool flushStream(FILE* stream, const char* name);

// The same file under two spellings (a link, "./", another route)? Decided
// by what the names lead to, so also for files not made yet.
bool sameOutput(const std::string& a, const std::string& b);

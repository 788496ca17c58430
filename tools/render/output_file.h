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
// checked. A directory or an empty name is refused. The first failure is
// kept: it and every later call answer "<asked name>: <reason>".
//
// Every file output uses it: --wav, --ansi, --cast, --dump, --png, --video; a
// new output should too.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "effects/result.h"

class OutputFile {
public:
    // For writers that open the temporary file themselves (the video muxer).
    enum class Opening { Stream, Named };

    // Opens the file to write; a failure is kept in status().
    explicit OutputFile(std::string path, Opening opening = Opening::Stream);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Failed once anything failed; later calls do nothing and answer the same.
    Result status() const { return ok_ ? Result::ok() : Result::failed(path_, problem_); }
    Result write(const void* bytes, size_t count);
    Result write(std::string_view bytes) { return write(bytes.data(), bytes.size()); }
    // Flushes, closes and puts the file in place. Worked when it is there.
    Result commit();

    const std::string& path() const { return path_; }
    // Opening::Named: the name to write to, until commit().
    const std::string& temporaryPath() const { return temporary_; }

private:
    Result fail(int error);
    void keepProblem(const std::string& reason);
    Result place();
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
    std::string problem_;
};

// A whole file in one go, through an OutputFile.
Result writeWholeFile(const std::string& path, const void* bytes, size_t count);

// Flushes a stream the tool does not own (standard output for --hashes and
// --stats); a failure is "<name>: <reason>".
Result flushStream(FILE* stream, const char* name);

// The same file under two spellings (a link, "./", another route)? Decided
// by what the names lead to, so also for files not made yet.
bool sameOutput(const std::string& a, const std::string& b);

// Test helpers for files, shared by every test folder: a scratch folder of
// the test's own and a whole file read back. They build on every platform.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace testfiles {

// A new, empty folder under the system's temporary folder, removed with
// everything in it at the end. Creating it is the test for a free name, so
// two test programs running at once never share one.
class TempDir {
public:
    explicit TempDir(const std::string& label = "test") {
        namespace fs = std::filesystem;
        std::random_device seed;
        std::mt19937 pick(seed());
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const fs::path dir = fs::temp_directory_path() / ("hazelglow-" + label + "-" + std::to_string(pick()));
            if (fs::create_directory(dir)) path_ = dir;
        }
        if (path_.empty()) throw std::filesystem::filesystem_error("no free temporary folder name", std::error_code());
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// The whole file's bytes; empty when it cannot be read.
inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

}  // namespace testfiles

#include <windows.h>

#include "demo/exe_dir.h"

std::string executableDirectory(const char*) {
    char module[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, module, sizeof module);
    if (length == 0 || length >= sizeof module) return {};
    // The loader names the running module; its separators become '/' like
    // the rest of the paths the demo builds.
    std::string file(module, length);
    for (char& c : file)
        if (c == '\\') c = '/';
    return directoryOf(file);
}

bool isBrokenLink(const std::string&) {
    return false;
}

// hazelglow-datagen --font FILE OUTPUT_DIR
// Makes texts.png, wipe.png and hazelglow.ogg in OUTPUT_DIR (see datagen.h).
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/datagen/datagen.h"

namespace {

constexpr const char* Usage =
    "usage: hazelglow-datagen --font FILE OUTPUT_DIR\n"
    "Makes the demo's data files texts.png, wipe.png and hazelglow.ogg in OUTPUT_DIR.\n"
    "  --font FILE   TrueType font for the text pictures (DejaVu Sans Bold)\n";

int fail(const Result& result) {
    std::fprintf(stderr, "hazelglow-datagen: %s\n", result.message().c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string fontPath;
    std::string outputDir;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--font") == 0 && i + 1 < argc) {
            fontPath = argv[++i];
        } else if (argv[i][0] != '-' && outputDir.empty()) {
            outputDir = argv[i];
        } else {
            std::fprintf(stderr, "hazelglow-datagen: unexpected argument '%s'\n%s", argv[i], Usage);
            return 2;
        }
    }
    if (fontPath.empty() || outputDir.empty()) {
        std::fputs(Usage, stderr);
        return 2;
    }
    const std::string prefix = outputDir + "/";
    datagen::GreyStrip texts;
    if (Result made = datagen::renderTexts(fontPath, texts); !made) return fail(made);
    if (Result written = datagen::writeStripPng(prefix + "texts.png", texts); !written) return fail(written);
    if (Result written = datagen::writeStripPng(prefix + "wipe.png", datagen::renderWipeMasks()); !written)
        return fail(written);
    if (Result written = datagen::writeOggVorbis(prefix + "hazelglow.ogg", datagen::synthesizeSoundtrack()); !written)
        return fail(written);
    return 0;
}

// kestrune-listen FILE...: prints "FILE<TAB>KEY<TAB>CONFIDENCE" for every readable file, KEY
// being "-" when the music names no key. Exits with 2 when a file could not be read (told on
// standard error; the other files are still answered), else 0. Names are read and written in
// UTF-8 on every system.

#include "EmKeyDetector.h"
#include "EmSoundFile.h"
#include "EmToolArguments.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Whether the whole file was read; the line is printed only then.
bool answer(const std::string& path)
{
    EmSoundFile file(path);
    if (!file.is_open()) {
        std::fprintf(stderr, "kestrune-listen: %s: %s\n", path.c_str(), file.error().c_str());
        return false;
    }
    EmKeyDetector detector;
    std::vector<float> block;
    constexpr std::size_t block_frames = 16384;
    while (const std::size_t frames = file.read(block, block_frames)) {
        detector.add(block.data(), frames, file.channels(), file.sample_rate());
    }
    if (!file.error().empty()) {
        std::fprintf(stderr, "kestrune-listen: %s: %s\n", path.c_str(), file.error().c_str());
        return false;
    }
    const auto estimate = detector.estimate();
    std::printf("%s\t%s\t%.2f\n", path.c_str(), estimate ? estimate->key.name().c_str() : "-",
                estimate ? estimate->confidence : 0.0);
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> files = em_tool_arguments(argc, argv);
    if (files.empty()) {
        std::fprintf(stderr, "usage: kestrune-listen FILE...\n");
        return 2;
    }
    int status = 0;
    for (const std::string& file : files) {
        if (!answer(file)) {
            status = 2;
        }
    }
    return status;
}

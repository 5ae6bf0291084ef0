// Runs a fuzz target's entry point on every file of its committed corpus,
// as an ordinary test: a failed property or a sanitizer finding ends the
// run, and the file it was on is the last one named.

#include "support/files.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
// Optional, as for libFuzzer.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS-DIRECTORY\n", argv[0]);
        return 2;
    }
    std::error_code error;
    std::vector<std::filesystem::path> inputs;
    for (const auto &entry : std::filesystem::directory_iterator(argv[1], error)) {
        if (entry.is_regular_file())
            inputs.push_back(entry.path());
    }
    // A corpus that cannot be read or is empty would pass without testing.
    if (error || inputs.empty()) {
        std::fprintf(stderr, "no inputs in %s\n", argv[1]);
        return 1;
    }
    std::sort(inputs.begin(), inputs.end());
    // A target may point the standard streams at a buffer of its own, which
    // is gone by the time the streams are flushed at exit: they get their
    // own back before then.
    std::streambuf *const out = std::cout.rdbuf();
    std::streambuf *const err = std::cerr.rdbuf();
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    for (const std::filesystem::path &input : inputs) {
        std::fprintf(stderr, "%s\n", input.c_str());
        const std::string bytes = support::readFile(input);
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
    }
    std::cout.rdbuf(out);
    std::cerr.rdbuf(err);
    std::fprintf(stderr, "%zu inputs\n", inputs.size());
    return 0;
}

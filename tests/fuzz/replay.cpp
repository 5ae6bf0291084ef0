// Runs a fuzz target's entry point on every file of its committed corpus,
// as an ordinary test: a failed property or a sanitizer finding ends the
// run, and the file it was on is the last one named.

#include "support/files.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
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
    // A target may point the standard streams elsewhere: the progress goes
    // to the real standard error, and the streams are given back at the end.
    FILE *const out = stdout;
    FILE *const err = stderr;
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    for (const std::filesystem::path &input : inputs) {
        std::fprintf(err, "%s\n", input.c_str());
        const std::string bytes = support::readFile(input);
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
    }
    stdout = out;
    stderr = err;
    std::fprintf(stderr, "%zu inputs\n", inputs.size());
    return 0;
}

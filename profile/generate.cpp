// dispctl-profile-gen DIR: writes the manual page and the completions into
// DIR.

#include "generate.h"

#include <cstdio>
#include <string>

namespace {

bool writeFile(const std::string &path, const std::string &text)
{
    FILE *file = std::fopen(path.c_str(), "w");
    if (!file) {
        std::fprintf(stderr, "Cannot write %s\n", path.c_str());
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "Usage: dispctl-profile-gen DIRECTORY\n");
        return 1;
    }
    const std::string dir = argv[1];
    const bool ok = writeFile(dir + "/dispctl-profile.1", manualPage(PROFILE_VERSION, PROFILE_DATE)) &&
                    writeFile(dir + "/dispctl-profile.bash", bashCompletion()) &&
                    writeFile(dir + "/_dispctl-profile", zshCompletion()) &&
                    writeFile(dir + "/dispctl-profile.fish", fishCompletion());
    return ok ? 0 : 1;
}

#include "files.h"

#include <cstdlib>
#include <fstream>
#include <ftw.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace support {

TempDir::TempDir(const std::string &base)
{
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = (!base.empty() ? base : tmp && *tmp ? tmp : "/tmp") + "/dispctl-test-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir()
{
    // Tests may leave read-only entries behind; make them removable first.
    ::nftw(
        m_path.c_str(),
        [](const char *path, const struct stat *st, int type, struct FTW *) {
            if (type == FTW_D || type == FTW_DNR)
                ::chmod(path, st->st_mode | S_IRWXU);
            return 0;
        },
        16, FTW_PHYS);
    ::nftw(
        m_path.c_str(),
        [](const char *path, const struct stat *, int, struct FTW *) { return ::remove(path); }, 16,
        FTW_DEPTH | FTW_PHYS);
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const std::string &path, const std::string &content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

bool fileExists(const std::string &path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

} // namespace support

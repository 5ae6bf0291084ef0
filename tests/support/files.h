#pragma once

// Files for tests: a private directory that goes away with everything in
// it, and whole-file reads and writes.

#include <string>

namespace support {

class TempDir {
public:
    // Made in base; without one, in $TMPDIR or /tmp.
    explicit TempDir(const std::string &base = {});
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return m_path; }
    std::string file(const std::string &name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// The whole file; empty when it cannot be read.
std::string readFile(const std::string &path);
void writeFile(const std::string &path, const std::string &content);
// Whether anything is there, a dangling link included.
bool fileExists(const std::string &path);

} // namespace support

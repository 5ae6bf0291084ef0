#pragma once

// Shared by the library tests: a private directory for the document and the
// environment that points the library at it.

#include "support/files.h"

#include <dispor/dispor.h>

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// Readable failure messages.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace dispor_test {

using support::fileExists;
using support::readFile;
using support::TempDir;
using support::writeFile;

// A document path in a private directory, set as DISPOR_VIRTUAL_STATE with
// DISPOR_BACKEND=virtual for the test's lifetime.
class VirtualSet {
public:
    explicit VirtualSet(const std::string &document = {});
    ~VirtualSet();
    const std::string &path() const { return m_path; }
    const TempDir &dir() const { return m_dir; }
    std::string read() const { return readFile(m_path); }
    void write(const std::string &document) const { writeFile(m_path, document); }

private:
    TempDir m_dir;
    std::string m_path;
};

// A fetch and what it printed on standard error.
struct Fetched {
    Dispor::ConfigPtr config;
    std::string err;
};
Fetched fetchCapturing();
Dispor::ConfigPtr fetch(); // expects success and silence

// Applies; returns the error string, empty on success, after "conflict: "
// when the apply met a state newer than its snapshot.
std::string apply(const Dispor::ConfigPtr &config);

Dispor::OutputPtr byName(const Dispor::ConfigPtr &config, const QString &name);

// A minimal valid output object with the given members added.
std::string output(int id, const std::string &name, const std::string &extra = {});
std::string document(const std::string &outputs);

// Sets or unsets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const std::optional<std::string> &value) : m_name(name)
    {
        if (const char *old = std::getenv(name))
            m_old = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_old)
            ::setenv(m_name, m_old->c_str(), 1);
        else
            ::unsetenv(m_name);
    }

private:
    const char *m_name;
    std::optional<std::string> m_old;
};

// The names in directory, sorted.
inline std::vector<std::string> entries(const std::string &directory)
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Two outputs that take a brightness.
inline const std::string twoOutputs = document(output(1, "A", R"("capabilities": ["brightness"])") + "," +
                                               output(2, "B", R"("capabilities": ["brightness"])"));

} // namespace dispor_test

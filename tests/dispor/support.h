#pragma once

// Shared by the library tests: a private directory for the document and the
// environment that points the library at it.

#include "support/files.h"

#include <dispor/dispor.h>

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include <ostream>
#include <string>

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

} // namespace dispor_test

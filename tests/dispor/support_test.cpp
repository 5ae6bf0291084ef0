// The helpers of support.h, and checks of the helpers' own assumptions.

#include "support.h"

#include <QLoggingCategory>

#include <cstdlib>

#include <sys/stat.h>

namespace dispor_test {

VirtualSet::VirtualSet(const std::string &document) : m_path(m_dir.file("virtual-display.json"))
{
    ::setenv("DISPOR_BACKEND", "virtual", 1);
    ::setenv("DISPOR_VIRTUAL_STATE", m_path.c_str(), 1);
    if (!document.empty())
        write(document);
}

VirtualSet::~VirtualSet()
{
    ::unsetenv("DISPOR_VIRTUAL_STATE");
}

// As dispctl does: the library's warnings are off unless asked for.
const bool warningsOn = [] {
    QLoggingCategory::setFilterRules(QStringLiteral("dispor.warning=true"));
    return true;
}();

Fetched fetchCapturing()
{
    testing::internal::CaptureStderr();
    Dispor::GetConfigOperation op;
    op.exec();
    Fetched result{op.config(), testing::internal::GetCapturedStderr()};
    return result;
}

Dispor::ConfigPtr fetch()
{
    Fetched fetched = fetchCapturing();
    EXPECT_EQ(fetched.err, "");
    EXPECT_TRUE(fetched.config);
    return fetched.config;
}

std::string apply(const Dispor::ConfigPtr &config)
{
    Dispor::SetConfigOperation op(config);
    testing::internal::CaptureStderr();
    const bool ok = op.exec();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "") << "an apply prints nothing";
    EXPECT_EQ(ok, op.errorString().isEmpty());
    return (op.isConflict() ? "conflict: " : "") + op.errorString().toStdString();
}

Dispor::OutputPtr byName(const Dispor::ConfigPtr &config, const QString &name)
{
    for (const Dispor::OutputPtr &output : config->outputs()) {
        if (output->name() == name)
            return output;
    }
    ADD_FAILURE() << "no output " << name.toStdString();
    return {};
}

std::string output(int id, const std::string &name, const std::string &extra)
{
    return "{\"id\": " + std::to_string(id) + ", \"name\": \"" + name + "\"" +
           (extra.empty() ? "" : ", " + extra) + "}";
}

std::string document(const std::string &outputs)
{
    return "{\"outputs\": [" + outputs + "]}";
}

namespace {

TEST(Support, VirtualSetPointsTheLibraryAtAPrivateDocument)
{
    VirtualSet set;
    EXPECT_STREQ(std::getenv("DISPOR_BACKEND"), "virtual");
    EXPECT_EQ(std::getenv("DISPOR_VIRTUAL_STATE"), set.path());
    struct stat status;
    ASSERT_EQ(::stat(set.dir().path().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    EXPECT_FALSE(fileExists(set.path()));
}

} // namespace

} // namespace dispor_test

// The labels module in this process, on the test compositor: what it shows
// and for how long, what it refuses, and how the loader finds it or says why
// not.

#include "support.h"

#include "../../dispor/src/wayland_labels.h"

#include <gtest/gtest.h>

#include <QFileInfo>

#include <regex>
#include <sstream>

namespace {

using Dispor::WaylandLabels::Label;
using Dispor::WaylandLabels::Module;
using wayland_test::Compositor;

const std::vector<std::string> twoMonitors = {
    "--output",
    "DP-1:1920x1080@60000", //
    "--output",
    "HDMI-A-1:1280x1024@75025",
};

const QList<Label> twoLabels = {
    {"DP-1", {"DP-1", "1920x1080 @ 60.00 Hz", "at 0,0"}},
    {"HDMI-A-1", {"HDMI-A-1", "1280x1024 @ 75.03 Hz", "at 1920,0"}},
};

const Module *module()
{
    QString why;
    const Module *opened = Dispor::WaylandLabels::openModule(DISPOR_LABELS_MODULE, &why);
    EXPECT_TRUE(opened) << why.toStdString();
    return opened;
}

// What the compositor told of surfaces, one line each, a layer's size as
// "WxH" once it is checked to be within its output (the text's size is the
// font's).
std::string surfaces(const Compositor &compositor, const std::map<std::string, std::pair<int, int>> &sizes)
{
    const std::regex layer(R"(layer (\S+) (\S+) (\d+)x(\d+) (.*))");
    std::istringstream log(compositor.log());
    std::string text;
    for (std::string line; std::getline(log, line);) {
        std::smatch m;
        if (std::regex_match(line, m, layer) && sizes.contains(m[1])) {
            const auto [width, height] = sizes.at(m[1]);
            const int w = std::stoi(m[3]), h = std::stoi(m[4]);
            EXPECT_TRUE(w > 0 && w <= width && h > 0 && h < height / 2) << line;
            text += "layer " + m[1].str() + " " + m[2].str() + " WxH " + m[5].str() + "\n";
        } else if (line.rfind("layer ", 0) == 0 || line.rfind("window ", 0) == 0) {
            text += line + "\n";
        }
    }
    return text;
}

const std::map<std::string, std::pair<int, int>> sizes = {{"DP-1", {1920, 1080}}, {"HDMI-A-1", {1280, 1024}}};

TEST(WaylandLabels, ALayerSurfaceOnEachOutputForTheTimeGiven)
{
    const Compositor compositor = Compositor::ours(twoMonitors);
    wayland_test::useInProcess(compositor);
    const double start = support::now();
    QString why;
    ASSERT_TRUE(module()->show(QString::fromStdString(compositor.socket()), twoLabels, 1, &why))
        << why.toStdString();
    EXPECT_GE(support::now() - start, 1.0);
    // Gone once it returned: the compositor handled their removal first.
    EXPECT_EQ(surfaces(compositor, sizes), "layer DP-1 overlay WxH input:none keyboard:none drawn\n"
                                           "layer HDMI-A-1 overlay WxH input:none keyboard:none drawn\n"
                                           "layer DP-1 gone\n"
                                           "layer HDMI-A-1 gone\n");
}

TEST(WaylandLabels, AFullscreenWindowWhereTheCompositorHasNoLayerShell)
{
    const std::vector<std::string> arguments = {"--no-layer-shell", "--output", "DP-1:1920x1080@60000"};
    const Compositor compositor = Compositor::ours(arguments);
    wayland_test::useInProcess(compositor);
    QString why;
    ASSERT_TRUE(module()->show({}, {twoLabels.first()}, 1, &why)) << why.toStdString();
    EXPECT_EQ(surfaces(compositor, sizes), "window DP-1 fullscreen 1920x1080 input:none drawn\n"
                                           "window DP-1 gone\n");
}

TEST(WaylandLabels, Refusals)
{
    struct Case {
        std::vector<std::string> arguments;
        QString display; // empty: the compositor's
        QList<Label> labels;
        QString why;
    };
    const Case cases[] = {
        {{"--no-layer-shell", "--no-xdg-shell"},
         {},
         twoLabels,
         "cannot show labels: the compositor offers neither layer-shell nor xdg-shell"},
        {{}, {}, {{"VGA-9", {"VGA-9"}}}, "cannot show labels: the compositor has no output named \"VGA-9\""},
        {{},
         {},
         {{"DP-1\n", {"DP-1"}}},
         "cannot show labels: the compositor has no output named \"DP-1\\u000a\""},
        {{},
         "gone",
         twoLabels,
         "cannot show labels: cannot connect to the Wayland compositor \"gone\": No such file or directory"},
    };
    for (const Case &c : cases) {
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.end(), twoMonitors.begin(), twoMonitors.end());
        const Compositor compositor = Compositor::ours(arguments);
        wayland_test::useInProcess(compositor);
        QString why;
        EXPECT_FALSE(module()->show(c.display, c.labels, 1, &why));
        EXPECT_EQ(why, c.why);
        EXPECT_EQ(surfaces(compositor, sizes), "");
    }
}

TEST(WaylandLabels, TheLoaderSaysWhyItCannotOpenTheModule)
{
    const e2e::TempDir dir;
    e2e::writeFile(dir.file("labels.so"), std::string(100, 'x'));
    const QByteArray fake = QByteArray::fromStdString(dir.file("labels.so"));
    const QByteArray missing = QByteArray::fromStdString(dir.file("none.so"));
    const QByteArray folder = QByteArray::fromStdString(dir.path());
    struct Case {
        QByteArray file;
        QString why;
    };
    const Case cases[] = {
        {missing, "cannot show labels: " + missing + ": No such file or directory"},
        {folder, "cannot show labels: " + folder + ": not a regular file"},
        {fake, "cannot show labels: " + fake + ": invalid ELF header"},
    };
    for (const Case &c : cases) {
        QString why;
        EXPECT_EQ(Dispor::WaylandLabels::openModule(c.file, &why), nullptr);
        EXPECT_EQ(why, c.why);
    }
    // show() looks beside the file it is linked into: here this program.
    const QString beside =
        QFileInfo("/proc/self/exe").canonicalFilePath().section(u'/', 0, -2) + "/labels.so";
    QString why;
    EXPECT_FALSE(Dispor::WaylandLabels::show({}, twoLabels, 1, &why));
    EXPECT_EQ(why, "cannot show labels: " + beside + ": No such file or directory");
}

} // namespace

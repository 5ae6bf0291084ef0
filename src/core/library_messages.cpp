#include "core/library_messages.h"

#include "core/print.h"

#include <QLoggingCategory>

#include <cstring>

namespace {

bool warningsShown = true;
QLoggingCategory::CategoryFilter qtFilter = nullptr;

bool isLibrary(const char *category)
{
    return category && std::strcmp(category, "dispor") == 0;
}

void printLibraryMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg && isLibrary(context.category))
        printLineTo(stderr, "dispor: {}", message);
}

void filter(QLoggingCategory *category)
{
    if (qtFilter)
        qtFilter(category);
    if (isLibrary(category->categoryName()))
        category->setEnabled(QtWarningMsg, warningsShown);
}

} // namespace

void showLibraryMessages()
{
    qInstallMessageHandler(printLibraryMessage);
    // The library is quiet unless asked. Asked by a rule in the variable Qt
    // reads its rules from once a category is made, which a run without a
    // message never does: setting a rule or a filter here made Qt read them
    // at once, about 35 thousand instructions a run. Rules the user gives
    // there come after this one, and so still decide.
    QByteArray rules = "dispor.warning=true";
    if (const QByteArray given = qgetenv("QT_LOGGING_RULES"); !given.isEmpty())
        rules += ';' + given;
    qputenv("QT_LOGGING_RULES", rules);
}

void setLibraryWarningsShown(bool shown)
{
    warningsShown = shown;
    // Installing the filter again applies it to the categories made so far.
    const QLoggingCategory::CategoryFilter previous = QLoggingCategory::installFilter(filter);
    if (previous != filter)
        qtFilter = previous;
}

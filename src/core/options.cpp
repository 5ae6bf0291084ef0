#include "core/options.h"

#include "core/print.h"

Arity arityOf(const ValueAlternative &alternative)
{
    Arity arity;
    for (const Placeholder &placeholder : alternative) {
        if (placeholder.repeated) {
            arity.max.reset();
            continue;
        }
        ++arity.min;
        if (arity.max)
            ++*arity.max;
    }
    return arity;
}

std::vector<Arity> parseArities(const char *valueName)
{
    std::vector<Arity> result;
    for (const ValueAlternative &alternative : parseValueName(valueName ? valueName : ""))
        result.push_back(arityOf(alternative));
    return result;
}

static bool fits(const std::vector<Arity> &arities, qsizetype count)
{
    for (const Arity &arity : arities) {
        if (count >= qsizetype(arity.min) && (!arity.max || count <= qsizetype(*arity.max)))
            return true;
    }
    return false;
}

static const CommandOption *findOption(const std::vector<const CommandOption *> &records, QStringView name)
{
    for (const CommandOption *record : records) {
        if (record->name && name == QString::fromUtf8(record->name))
            return record;
    }
    return nullptr;
}

bool parseOptions(const Command &command, const QStringList &words)
{
    return parseOptions(optionsFor(command), words);
}

bool parseOptions(const std::vector<const CommandOption *> &records, const QStringList &words)
{
    if (records.empty())
        return words.isEmpty();

    QStringList positional;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString &word = words[i];
        if (!word.startsWith(QLatin1StringView("--"))) {
            positional.append(word);
            continue;
        }

        const QStringView name = QStringView(word).mid(2);
        const CommandOption *record = findOption(records, name);
        if (!record) {
            // A valued option may also carry its value after "=".
            const qsizetype equals = name.indexOf(u'=');
            const CommandOption *valued = equals < 0 ? nullptr : findOption(records, name.left(equals));
            if (!valued || !valued->valueName) {
                printLineTo(stderr, "Unknown argument: {}", word);
                return false;
            }
            const QString value = name.mid(equals + 1).trimmed().toString();
            if (value.isEmpty()) {
                printLineTo(stderr, "Missing value for option {}.", valued->name);
                return false;
            }
            *static_cast<QString *>(valued->target) = value;
            continue;
        }

        if (!record->valueName) {
            *static_cast<bool *>(record->target) = true;
            continue;
        }
        if (i + 1 >= words.size() || words[i + 1].startsWith(QLatin1StringView("--"))) {
            printLineTo(stderr, "Missing value for option {}.", record->name);
            return false;
        }
        *static_cast<QString *>(record->target) = words[++i];
    }

    const CommandOption *positionalRecord = positionalOf(records);
    if (!positionalRecord) {
        if (positional.isEmpty())
            return true;
        printLineTo(stderr, "Unexpected positional argument: {}", positional.first());
        return false;
    }
    if (!fits(parseArities(positionalRecord->valueName), positional.size())) {
        printLineTo(stderr, "Invalid arguments: {}", positional.join(u' '));
        return false;
    }
    *static_cast<QStringList *>(positionalRecord->target) = std::move(positional);
    return true;
}

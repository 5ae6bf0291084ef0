// The option parser over the real command tables: the first byte picks the
// command, the rest are its words.

#include "fuzz.h"

#include "core/command.h"
#include "core/options.h"

#include <algorithm>

namespace {

bool fits(const std::vector<Arity> &arities, qsizetype count)
{
    return std::any_of(arities.begin(), arities.end(), [count](const Arity &a) {
        return count >= qsizetype(a.min) && (!a.max || count <= qsizetype(*a.max));
    });
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::silenceStreams();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const std::span<const Command> commands = commandTable();
    FUZZ_CHECK(!commands.empty());
    const Command &command = commands[data[0] % commands.size()];
    const QStringList words = fuzz::words(fuzz::bytes(data + 1, size - 1));

    const std::vector<const CommandOption *> records = optionsFor(command);
    const auto positional = std::find_if(records.begin(), records.end(), [](const CommandOption *r) {
        return r->kind == OptionKind::Positional;
    });
    if (parseOptions(command, words)) {
        FUZZ_CHECK(!records.empty() || words.isEmpty());
        if (positional != records.end()) {
            const QStringList &taken = *static_cast<const QStringList *>((*positional)->target);
            FUZZ_CHECK(fits(parseArities((*positional)->valueName), taken.size()));
            for (const QString &word : taken) {
                FUZZ_CHECK(!word.startsWith(QLatin1StringView("--")));
                FUZZ_CHECK(words.contains(word));
            }
        }
    }

    // Value names of any shape: every alternative is a sane range.
    for (const QString &word : words) {
        const QByteArray name = word.toUtf8();
        for (const Arity &arity : parseArities(name.constData()))
            FUZZ_CHECK(!arity.max || arity.min <= *arity.max);
    }
    return 0;
}

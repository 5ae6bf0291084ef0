// The virtual backend's document loader: whatever it accepts it must write
// back to a document that loads to the same text again.

#include "fuzz.h"

#include "virtual/document.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::silenceStreams();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Dispor::Virtual::Outputs outputs;
    QString fault;
    if (!Dispor::Virtual::parseDocument(fuzz::bytes(data, size), &outputs, &fault)) {
        FUZZ_CHECK(!fault.isEmpty() && !fault.contains(u'\n'));
        return 0;
    }
    qsizetype faulty = 0;
    FUZZ_CHECK(Dispor::Virtual::checkOutputs(outputs, &faulty, &fault));

    const QByteArray written = Dispor::Virtual::writeDocument(outputs);
    Dispor::Virtual::Outputs again;
    if (!Dispor::Virtual::parseDocument(written, &again, &fault)) {
        std::fprintf(stderr, "written document does not load: %s\n%s\n", qPrintable(fault), written.constData());
        FUZZ_CHECK(false);
    }
    FUZZ_CHECK(Dispor::Virtual::writeDocument(again) == written);

    for (const Dispor::Output::Data &d : outputs) {
        const QStringList ids = Dispor::Virtual::customModeIds(d.modes, d.customModes);
        FUZZ_CHECK(ids.size() == d.customModes.size());
        for (const QString &id : ids)
            FUZZ_CHECK(!d.modes.contains(id) && ids.count(id) == 1);
    }
    return 0;
}

// The identity the X11 backend reads from an output's EDID property (any
// bytes a server hands over), and the uuid made from it.

#include "fuzz.h"

#include "x11/names.h"

#include <QUuid>

namespace {

// What the identity is made of, read here byte by byte.
uint32_t little(const QByteArray &bytes, int at, int count)
{
    uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value |= uint32_t(uint8_t(bytes[at + i])) << (8 * i);
    return value;
}

void checkUuid(const QString &text)
{
    const QUuid uuid(text);
    FUZZ_CHECK(!uuid.isNull() && uuid.version() == QUuid::Sha1 &&
               uuid.toString(QUuid::WithoutBraces) == text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray edid = fuzz::bytes(data, size);
    const std::optional<Dispor::X11::EdidIdentity> identity = Dispor::X11::edidIdentity(edid);
    const bool isEdid =
        edid.size() >= 128 && edid.startsWith(QByteArray("\x00\xff\xff\xff\xff\xff\xff\x00", 8));
    FUZZ_CHECK(identity.has_value() == isEdid);
    const QString name = QStringLiteral("DP-1");
    checkUuid(Dispor::X11::outputUuid(identity, name));
    if (!identity)
        return 0;

    FUZZ_CHECK(identity->manufacturer.size() == 3);
    for (const QChar letter : identity->manufacturer)
        FUZZ_CHECK((letter >= u'A' && letter <= u'Z') || letter == u'?');
    FUZZ_CHECK(identity->product == little(edid, 10, 2) && identity->serial == little(edid, 12, 4));
    // The serial text is one descriptor's field: at most 13 characters, on
    // one line, without the blanks it is padded with.
    FUZZ_CHECK(identity->serialText.size() <= 13 && !identity->serialText.contains(u'\n'));
    const QByteArray serialText = identity->serialText.toLatin1();
    FUZZ_CHECK(serialText == serialText.trimmed());

    // The same monitor gets the same uuid on every output; a repeated one
    // is told apart by the output's name, and never takes a name's uuid.
    const QString uuid = Dispor::X11::outputUuid(identity, name);
    FUZZ_CHECK(uuid == Dispor::X11::outputUuid(identity, QStringLiteral("HDMI-1")));
    const QString repeated = Dispor::X11::outputUuid(identity, name, true);
    checkUuid(repeated);
    FUZZ_CHECK(repeated != uuid &&
               repeated != Dispor::X11::outputUuid(identity, QStringLiteral("HDMI-1"), true));
    FUZZ_CHECK(uuid != Dispor::X11::outputUuid(std::nullopt, name));
    return 0;
}

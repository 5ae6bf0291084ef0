#include "names.h"

#include "../naming.h"

#include <QRegularExpression>
#include <QUuid>

#include <libxcvt/libxcvt.h>

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace Dispor::X11 {

namespace {

using Type = Output::Type;

// Ours, so that no other program's name-based uuids collide with these:
// 6b2c5a0e-1f3d-4c8a-9e77-2d4b6f8a1c35, made when compiled rather than
// parsed whenever the plugin is loaded.
constexpr QUuid uuidNamespace(0x6b2c5a0e, 0x1f3d, 0x4c8a, 0x9e, 0x77, 0x2d, 0x4b, 0x6f, 0x8a, 0x1c, 0x35);

QString rateText(float rate)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, rate);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

} // namespace

Output::Type connectorType(const QString &connectorTypeProperty, const QString &outputName)
{
    if (!connectorTypeProperty.isEmpty()) {
        const Type type = connectorTypeOfName(connectorTypeProperty);
        if (type != Type::Unknown)
            return type;
    }
    return connectorTypeOfName(outputName);
}

std::optional<EdidIdentity> edidIdentity(const QByteArray &edid)
{
    static const char header[] = "\x00\xff\xff\xff\xff\xff\xff\x00";
    if (edid.size() < 128 || QByteArrayView(edid).first(8) != QByteArrayView(header, 8))
        return std::nullopt;
    const auto byte = [&edid](int i) { return static_cast<uint8_t>(edid.at(i)); };
    const uint16_t packed = uint16_t(byte(8) << 8 | byte(9));
    EdidIdentity identity;
    for (const int shift : {10, 5, 0}) {
        const int letter = (packed >> shift) & 0x1f;
        identity.manufacturer += QChar(letter >= 1 && letter <= 26 ? u'A' + letter - 1 : u'?');
    }
    identity.product = uint16_t(byte(10) | byte(11) << 8);
    identity.serial =
        uint32_t(byte(12)) | uint32_t(byte(13)) << 8 | uint32_t(byte(14)) << 16 | uint32_t(byte(15)) << 24;
    // Many monitors leave the numeric serial at 0 and carry the real one in
    // a serial-number descriptor (tag 0xff): up to 13 characters, ended by a
    // line feed and padded with blanks.
    // The product's name sits in a descriptor of its own (tag 0xfc), alike.
    for (int at = 54; at + 18 <= 126; at += 18) {
        if (byte(at) || byte(at + 1) || byte(at + 2) || (byte(at + 3) != 0xff && byte(at + 3) != 0xfc))
            continue;
        QByteArray text = edid.mid(at + 5, 13);
        if (const qsizetype end = text.indexOf('\n'); end >= 0)
            text.truncate(end);
        QString &field = byte(at + 3) == 0xff ? identity.serialText : identity.name;
        if (field.isEmpty())
            field = QString::fromLatin1(text.trimmed());
    }
    return identity;
}

void identify(const EdidIdentity &edid, QString *make, QString *model, QString *serialNumber)
{
    *make = edid.manufacturer;
    *model = !edid.name.isEmpty() ? edid.name
                                  : u"0x"_qs + QString::number(edid.product, 16).rightJustified(4, u'0');
    *serialNumber = !edid.serialText.isEmpty() ? edid.serialText
                    : edid.serial              ? QString::number(edid.serial)
                                               : QString();
}

QString outputUuid(const std::optional<EdidIdentity> &edid, const QString &outputName, bool repeated)
{
    QByteArray key;
    if (edid) {
        key = "edid:" + edid->manufacturer.toLatin1() + ':' + QByteArray::number(edid->product, 16) + ':' +
              QByteArray::number(edid->serial, 16);
        // Left out when absent, so that such monitors keep their uuids.
        if (!edid->serialText.isEmpty())
            key += ":s:" + edid->serialText.toUtf8();
        if (repeated)
            key += ":on:" + outputName.toUtf8();
    } else {
        key = "name:" + outputName.toUtf8();
    }
    return QUuid::createUuidV5(uuidNamespace, key).toString(QUuid::WithoutBraces);
}

float refreshRate(const Timings &timings)
{
    if (!timings.htotal || !timings.vtotal)
        return 0;
    double rate = double(timings.dotClock) / (double(timings.htotal) * double(timings.vtotal));
    if (timings.flags & 16) // interlace
        rate *= 2;
    if (timings.flags & 32) // double scan
        rate /= 2;
    return float(rate);
}

QByteArray customModeName(const ModeInfo &mode)
{
    QString name = u"dispor:%1x%2@%3:f%4"_qs.arg(mode.width)
                       .arg(mode.height)
                       .arg(rateText(mode.refreshRate))
                       .arg(mode.flags);
    if (const auto &t = mode.timings) {
        name += u':';
        const uint32_t fields[] = {t->clock,    t->hdisplay, t->hsyncStart, t->hsyncEnd,
                                   t->htotal,   t->hskew,    t->vdisplay,   t->vsyncStart,
                                   t->vsyncEnd, t->vtotal,   t->vscan,      t->flags};
        for (size_t i = 0; i < std::size(fields); ++i) {
            if (i)
                name += u'/';
            name += QString::number(fields[i]);
        }
    }
    return name.toLatin1();
}

std::optional<ModeInfo> parseCustomModeName(const QByteArray &name)
{
    // Most modes are the server's own: they are passed over without a match.
    if (!name.startsWith("dispor:"))
        return std::nullopt;
    static const QRegularExpression pattern(QStringLiteral(
        "^dispor:(\\d{1,9})x(\\d{1,9})@([0-9.e+-]{1,32}):f(\\d{1,10})(?::(\\d{1,10}(?:/\\d{1,10}){11}))?$"));
    const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(name));
    if (!match.hasMatch())
        return std::nullopt;
    ModeInfo mode;
    mode.width = match.captured(1).toInt();
    mode.height = match.captured(2).toInt();
    const QByteArray rate = match.captured(3).toLatin1();
    const auto parsed = std::from_chars(rate.constData(), rate.constData() + rate.size(), mode.refreshRate);
    bool ok = false;
    mode.flags = match.captured(4).toUInt(&ok);
    if (parsed.ec != std::errc() || parsed.ptr != rate.constData() + rate.size() || !ok)
        return std::nullopt;
    if (match.hasCaptured(5)) {
        const QStringList parts = match.captured(5).split(u'/');
        uint32_t fields[12];
        for (int i = 0; i < 12; ++i) {
            fields[i] = parts[i].toUInt(&ok);
            if (!ok || (i != 0 && i != 11 && fields[i] > 0xffff))
                return std::nullopt;
        }
        ModeTimings t;
        t.clock = fields[0];
        t.hdisplay = uint16_t(fields[1]);
        t.hsyncStart = uint16_t(fields[2]);
        t.hsyncEnd = uint16_t(fields[3]);
        t.htotal = uint16_t(fields[4]);
        t.hskew = uint16_t(fields[5]);
        t.vdisplay = uint16_t(fields[6]);
        t.vsyncStart = uint16_t(fields[7]);
        t.vsyncEnd = uint16_t(fields[8]);
        t.vtotal = uint16_t(fields[9]);
        t.vscan = uint16_t(fields[10]);
        t.flags = fields[11];
        mode.timings = t;
    }
    return mode;
}

std::optional<Timings> customModeTimings(const ModeInfo &mode, QString *reason)
{
    Timings timings;
    if (const auto &t = mode.timings) {
        if (!t->htotal || !t->vtotal || t->hdisplay > t->htotal || t->vdisplay > t->vtotal || !t->clock) {
            *reason = u"the timings of the custom mode "_qs + describeCustomMode(mode) + " are not usable";
            return std::nullopt;
        }
        timings.width = t->hdisplay;
        timings.height = t->vdisplay;
        timings.dotClock = uint32_t(std::min<uint64_t>(uint64_t(t->clock) * 1000, UINT32_MAX));
        timings.hsyncStart = t->hsyncStart;
        timings.hsyncEnd = t->hsyncEnd;
        timings.htotal = t->htotal;
        timings.hskew = t->hskew;
        timings.vsyncStart = t->vsyncStart;
        timings.vsyncEnd = t->vsyncEnd;
        timings.vtotal = t->vtotal;
        // The kernel's sync and interlace bits are RandR's.
        timings.flags = t->flags & 0x1f;
        return timings;
    }
    if (mode.width <= 0 || mode.height <= 0 || mode.width > 0xffff || mode.height > 0xffff ||
        !std::isfinite(mode.refreshRate) || mode.refreshRate <= 0 || mode.refreshRate > 1000) {
        *reason = u"the custom mode "_qs + describeCustomMode(mode) + " has no usable size and refresh rate";
        return std::nullopt;
    }
    const bool reduced = mode.flags & ModeInfo::ReducedBlanking;
    libxcvt_mode_info *cvt = libxcvt_gen_mode_info(mode.width, mode.height, mode.refreshRate, reduced, false);
    if (!cvt || cvt->htotal == 0 || cvt->vtotal == 0 || cvt->dot_clock * 1000 > UINT32_MAX) {
        std::free(cvt);
        *reason = u"no CVT timings exist for the custom mode "_qs + describeCustomMode(mode);
        return std::nullopt;
    }
    timings.width = uint16_t(cvt->hdisplay);
    timings.height = uint16_t(cvt->vdisplay);
    timings.dotClock = uint32_t(cvt->dot_clock * 1000);
    timings.hsyncStart = cvt->hsync_start;
    timings.hsyncEnd = cvt->hsync_end;
    timings.htotal = cvt->htotal;
    timings.vsyncStart = cvt->vsync_start;
    timings.vsyncEnd = cvt->vsync_end;
    timings.vtotal = cvt->vtotal;
    timings.flags = uint32_t(cvt->mode_flags) & 0x1f;
    std::free(cvt);
    return timings;
}

QString describeCustomMode(const ModeInfo &mode)
{
    return u"%1x%2@%3"_qs.arg(mode.width).arg(mode.height).arg(double(mode.refreshRate), 0, 'f', 2);
}

} // namespace Dispor::X11

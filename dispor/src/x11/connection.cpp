// The Connection: RandR and the other extensions asked for, the atoms
// named, and the server's errors put in words. The socket itself, within its
// bound, comes from connect.cpp; reading the state, from server.cpp.

#include "server.h"

#include "connect.h"

#include <xcb/dpms.h>

#include <cstdlib>
#include <iterator>

namespace Dispor::X11 {

namespace {

QString displayName()
{
    return qEnvironmentVariable("DISPLAY");
}

} // namespace

std::unique_ptr<Connection> Connection::open(QString *reason)
{
    const QString display = displayName();
    if (display.isEmpty()) {
        *reason = QStringLiteral("DISPLAY is not set, so there is no X server to talk to");
        return {};
    }
    const auto server = [&display] { return u"the X server "_qs + Dispor::quoted(display); };
    std::unique_ptr<Connection> connection(new Connection);
    connection->m_display = display;
    int screenNumber = 0;
    connection->m_connection = connectWithin(display, &screenNumber, reason);
    if (!connection->m_connection)
        return {};
    xcb_connection_t *c = connection->m_connection;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem) {
        *reason = server() + " has no screen " + QString::number(screenNumber);
        return {};
    }
    connection->m_screen = screens.data;
    connection->m_root = screens.data->root;

    // The extensions and the atoms are asked in one round.
    xcb_prefetch_extension_data(c, &xcb_randr_id);
    xcb_prefetch_extension_data(c, &xcb_dpms_id);
    // Only Xorg's driver layer (and Xwayland) has VidMode, the driver's own
    // gamma interface; Xvfb has neither and its ramps start all zero.
    constexpr char vidMode[] = "XFree86-VidModeExtension";
    const xcb_query_extension_cookie_t vidModeCookie = xcb_query_extension(c, sizeof vidMode - 1, vidMode);
    const std::pair<xcb_atom_t Atoms::*, const char *> names[] = {
        {&Atoms::edid, "EDID"},
        {&Atoms::connectorType, "ConnectorType"},
        {&Atoms::broadcastRgb, "Broadcast RGB"},
        {&Atoms::maxBpc, "max bpc"},
        {&Atoms::underscan, "underscan"},
        {&Atoms::underscanHBorder, "underscan hborder"},
        {&Atoms::underscanVBorder, "underscan vborder"},
        {&Atoms::backlight, "Backlight"},
        {&Atoms::randrEmulation, "RANDR Emulation"},
        {&Atoms::replicaOf, "_DISPOR_REPLICA_OF"},
        {&Atoms::gamma, "_DISPOR_GAMMA"},
    };
    xcb_intern_atom_cookie_t cookies[std::size(names)];
    for (size_t i = 0; i < std::size(names); ++i) {
        // Ours are made if missing, so that what is marked later in this
        // connection is read back by it too.
        const uint8_t onlyIfExists = names[i].first != &Atoms::replicaOf && names[i].first != &Atoms::gamma;
        cookies[i] =
            xcb_intern_atom(c, onlyIfExists, uint16_t(std::strlen(names[i].second)), names[i].second);
    }

    const xcb_query_extension_reply_t *randr = xcb_get_extension_data(c, &xcb_randr_id);
    Reply<xcb_randr_query_version_reply_t> version = reply(
        randr && randr->present ? xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 6), nullptr)
                                : nullptr);
    for (size_t i = 0; i < std::size(names); ++i) {
        if (auto r = reply(xcb_intern_atom_reply(c, cookies[i], nullptr)))
            connection->m_atoms.*(names[i].first) = r->atom;
    }
    if (!version || version->major_version < 1 ||
        (version->major_version == 1 && version->minor_version < 2)) {
        *reason = server() + " does not offer RandR 1.2 or later";
        return {};
    }
    connection->m_randrError = randr->first_error;
    connection->m_transforms = version->major_version > 1 || version->minor_version >= 3;
    const xcb_query_extension_reply_t *dpms = xcb_get_extension_data(c, &xcb_dpms_id);
    connection->m_dpms = dpms && dpms->present;
    auto vidModeReply = reply(xcb_query_extension_reply(c, vidModeCookie, nullptr));
    connection->m_emulation = connection->emulatedOutputs();
    connection->m_driverRamps = vidModeReply && vidModeReply->present && !connection->m_emulation;
    return connection;
}

bool Connection::emulatedOutputs()
{
    // A server on which nobody named the property has no output carrying it.
    if (m_atoms.randrEmulation == XCB_NONE)
        return false;
    xcb_connection_t *c = m_connection;
    auto resources = reply(xcb_randr_get_screen_resources_current_reply(
        c, xcb_randr_get_screen_resources_current(c, m_root), nullptr));
    if (!resources)
        return false;
    const xcb_randr_output_t *outputs = Wire::resourceOutputs(resources.get());
    QList<xcb_randr_get_output_property_cookie_t> cookies;
    for (int i = 0; i < resources->num_outputs; ++i) {
        cookies.append(xcb_randr_get_output_property(c, outputs[i], m_atoms.randrEmulation,
                                                     XCB_GET_PROPERTY_TYPE_ANY, 0, 1, 0, 0));
    }
    bool emulated = false;
    for (const xcb_randr_get_output_property_cookie_t cookie : cookies) {
        auto value = reply(xcb_randr_get_output_property_reply(c, cookie, nullptr));
        if (!value)
            continue;
        Property property;
        property.format = value->format;
        property.data =
            QByteArray(reinterpret_cast<const char *>(xcb_randr_get_output_property_data(value.get())),
                       xcb_randr_get_output_property_data_length(value.get()));
        emulated = emulated || property.value() == 1;
    }
    return emulated;
}

Connection::~Connection()
{
    if (m_connection)
        xcb_disconnect(m_connection);
}

QString Connection::atomName(xcb_atom_t atom)
{
    if (atom == XCB_NONE)
        return {};
    nameAtoms({atom});
    return m_atomNames.value(atom);
}

void Connection::nameAtoms(const QList<xcb_atom_t> &atoms)
{
    QList<std::pair<xcb_atom_t, xcb_get_atom_name_cookie_t>> asked;
    for (const xcb_atom_t atom : atoms) {
        if (atom == XCB_NONE || m_atomNames.contains(atom))
            continue;
        asked.append({atom, xcb_get_atom_name(m_connection, atom)});
        // Asked once, however often the list holds it.
        m_atomNames.insert(atom, QString());
    }
    for (const auto &[atom, cookie] : std::as_const(asked)) {
        if (auto r = reply(xcb_get_atom_name_reply(m_connection, cookie, nullptr))) {
            m_atomNames[atom] =
                QString::fromLatin1(xcb_get_atom_name_name(r.get()), xcb_get_atom_name_name_length(r.get()));
        }
    }
}

xcb_atom_t Connection::atom(const QByteArray &name, bool create)
{
    auto r = reply(xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, create ? 0 : 1, uint16_t(name.size()), name.constData()),
        nullptr));
    return r ? r->atom : XCB_NONE;
}

QString Connection::errorText(const char *request, const xcb_generic_error_t *error) const
{
    QString what;
    if (!error) {
        what = QStringLiteral("the connection to the X server broke");
    } else {
        static const char *const core[] = {
            nullptr,     "BadRequest", "BadValue",    "BadWindow",   "BadPixmap", "BadAtom",
            "BadCursor", "BadFont",    "BadMatch",    "BadDrawable", "BadAccess", "BadAlloc",
            "BadColor",  "BadGC",      "BadIDChoice", "BadName",     "BadLength", "BadImplementation"};
        const int code = error->error_code;
        if (code > 0 && code < int(std::size(core)))
            what = QLatin1StringView(core[code]);
        else if (code == m_randrError)
            what = QStringLiteral("BadOutput");
        else if (code == m_randrError + 1)
            what = QStringLiteral("BadCrtc");
        else if (code == m_randrError + 2)
            what = QStringLiteral("BadMode");
        else
            what = u"error "_qs + QString::number(code);
    }
    return u"the X server refused "_qs + QLatin1StringView(request) + " (" + what + u')';
}

bool Connection::refused(const char *request, xcb_generic_error_t *error, QString *reason) const
{
    *reason = errorText(request, error);
    std::free(error);
    return false;
}

bool Connection::check(xcb_void_cookie_t cookie, const char *request, QString *reason)
{
    xcb_generic_error_t *error = xcb_request_check(m_connection, cookie);
    if (!error && !xcb_connection_has_error(m_connection))
        return true;
    return refused(request, error, reason);
}

} // namespace Dispor::X11

// Reading the server's state: the replies of one round, taken apart into
// a ServerState. The connection they come on is made in connection.cpp.

#include "server.h"

#include <xcb/dpms.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <utility>

namespace Dispor::X11 {

namespace {

template <typename T> QList<T> listOf(const T *items, int count)
{
    return QList<T>(items, items + std::max(count, 0));
}

} // namespace

std::optional<int32_t> Property::value() const
{
    if (data.isEmpty())
        return std::nullopt;
    switch (format) {
    case 8:
        return int32_t(static_cast<int8_t>(data.at(0)));
    case 16:
        if (data.size() >= 2) {
            int16_t v;
            std::memcpy(&v, data.constData(), 2);
            return v;
        }
        break;
    case 32:
        if (data.size() >= 4) {
            int32_t v;
            std::memcpy(&v, data.constData(), 4);
            return v;
        }
        break;
    default:
        break;
    }
    return std::nullopt;
}

void readTransform(xcb_connection_t *c, xcb_randr_get_crtc_transform_cookie_t cookie, CrtcState *crtc)
{
    auto transform = reply(xcb_randr_get_crtc_transform_reply(c, cookie, nullptr));
    crtc->transformRead = true;
    if (!transform)
        return;
    crtc->transforms = transform->has_transforms;
    const xcb_render_transform_t &m = transform->current_transform;
    crtc->transform.matrix = {m.matrix11, m.matrix12, m.matrix13, m.matrix21, m.matrix22,
                              m.matrix23, m.matrix31, m.matrix32, m.matrix33};
    crtc->transform.filter =
        QByteArray(xcb_randr_get_crtc_transform_current_filter_name(transform.get()),
                   xcb_randr_get_crtc_transform_current_filter_name_length(transform.get()));
}

void readRamps(const xcb_randr_get_crtc_gamma_reply_t &gamma, CrtcState *crtc)
{
    crtc->red = listOf(Wire::ramp(&gamma, 0), gamma.size);
    crtc->green = listOf(Wire::ramp(&gamma, 1), gamma.size);
    crtc->blue = listOf(Wire::ramp(&gamma, 2), gamma.size);
}

namespace {

// A CRTC's ramps and transform, as far as asked.
void readDetails(xcb_connection_t *c, xcb_randr_get_crtc_gamma_cookie_t gammaCookie,
                 xcb_randr_get_crtc_transform_cookie_t transformCookie, CrtcState *crtc)
{
    if (auto gamma = reply(xcb_randr_get_crtc_gamma_reply(c, gammaCookie, nullptr)))
        readRamps(*gamma, crtc);
    if (transformCookie.sequence)
        readTransform(c, transformCookie, crtc);
}

} // namespace

bool Connection::readTransforms(ServerState *state, QString *reason)
{
    xcb_connection_t *c = m_connection;
    QMap<xcb_randr_crtc_t, xcb_randr_get_crtc_transform_cookie_t> asked;
    for (const CrtcState &crtc : std::as_const(state->crtcs)) {
        if (!crtc.transformRead)
            asked.insert(crtc.id, xcb_randr_get_crtc_transform(c, crtc.id));
    }
    for (auto at = asked.cbegin(); at != asked.cend(); ++at)
        readTransform(c, *at, &state->crtcs[at.key()]);
    if (xcb_connection_has_error(c)) {
        *reason = errorText("the CRTCs' transforms", nullptr);
        return false;
    }
    return true;
}

bool Connection::read(ServerState *state, bool probe, QString *reason, const ServerState *expected)
{
    xcb_connection_t *c = m_connection;
    ServerState s;
    xcb_generic_error_t *error = nullptr;

    // Three rounds, each sent whole before its first reply is awaited: the
    // screen, then its CRTCs and outputs, then their properties. A round
    // trip awaited per request would cost more than all the reading.
    const xcb_randr_get_screen_size_range_cookie_t rangeCookie = xcb_randr_get_screen_size_range(c, m_root);
    const xcb_get_geometry_cookie_t geometryCookie = xcb_get_geometry(c, m_root);
    const xcb_randr_get_output_primary_cookie_t primaryCookie = xcb_randr_get_output_primary(c, m_root);
    xcb_randr_get_screen_resources_cookie_t allCookie{};
    xcb_randr_get_screen_resources_current_cookie_t currentCookie{};
    if (probe)
        allCookie = xcb_randr_get_screen_resources(c, m_root);
    else
        currentCookie = xcb_randr_get_screen_resources_current(c, m_root);
    xcb_dpms_info_cookie_t dpmsCookie{};
    if (m_dpms)
        dpmsCookie = xcb_dpms_info(c);
    // The CRTCs and outputs expected go along: the second round is then
    // only for those that turn out to be new. The ramps and transform of a
    // CRTC go with it when it was in use; for one that turns out to be in
    // use they are asked with the properties, in the third round.
    struct CrtcCookies {
        xcb_randr_get_crtc_info_cookie_t info;
        xcb_randr_get_crtc_gamma_cookie_t gamma{};         // sequence 0: not asked
        xcb_randr_get_crtc_transform_cookie_t transform{}; // sequence 0: not asked
    };
    struct OutputCookies {
        xcb_randr_get_output_info_cookie_t info;
        xcb_randr_list_output_properties_cookie_t properties;
    };
    const auto askCrtc = [c](xcb_randr_crtc_t crtc, xcb_timestamp_t time) {
        return CrtcCookies{xcb_randr_get_crtc_info(c, crtc, time)};
    };
    // Ramps and transform, as far as not asked yet.
    const auto askDetails = [c, this](xcb_randr_crtc_t crtc, CrtcCookies *cookies) {
        if (!cookies->gamma.sequence)
            cookies->gamma = xcb_randr_get_crtc_gamma(c, crtc);
        if (m_transforms && !cookies->transform.sequence)
            cookies->transform = xcb_randr_get_crtc_transform(c, crtc);
    };
    const auto askOutput = [c](xcb_randr_output_t output, xcb_timestamp_t time) {
        return OutputCookies{xcb_randr_get_output_info(c, output, time),
                             xcb_randr_list_output_properties(c, output)};
    };
    QHash<xcb_randr_crtc_t, CrtcCookies> crtcsAsked;
    QHash<xcb_randr_output_t, OutputCookies> outputsAsked;
    if (expected) {
        for (const CrtcState &crtc : expected->crtcs) {
            CrtcCookies &cookies = crtcsAsked[crtc.id] = askCrtc(crtc.id, expected->configTimestamp);
            if (crtc.mode != XCB_NONE)
                askDetails(crtc.id, &cookies);
        }
        for (auto at = expected->outputs.keyBegin(); at != expected->outputs.keyEnd(); ++at)
            outputsAsked.insert(*at, askOutput(*at, expected->configTimestamp));
    }
    // Replies asked for and not to be used.
    const auto discard = [c, &crtcsAsked, &outputsAsked] {
        for (const CrtcCookies &cookies : std::as_const(crtcsAsked)) {
            xcb_discard_reply(c, cookies.info.sequence);
            if (cookies.gamma.sequence)
                xcb_discard_reply(c, cookies.gamma.sequence);
            if (cookies.transform.sequence)
                xcb_discard_reply(c, cookies.transform.sequence);
        }
        for (const OutputCookies &cookies : std::as_const(outputsAsked)) {
            xcb_discard_reply(c, cookies.info.sequence);
            xcb_discard_reply(c, cookies.properties.sequence);
        }
        crtcsAsked.clear();
        outputsAsked.clear();
    };

    auto range = reply(xcb_randr_get_screen_size_range_reply(c, rangeCookie, nullptr));
    auto geometry = reply(xcb_get_geometry_reply(c, geometryCookie, nullptr));
    auto primary = reply(xcb_randr_get_output_primary_reply(c, primaryCookie, nullptr));
    if (!range || !geometry || !primary) {
        *reason = errorText("the screen's size", nullptr);
        return false;
    }
    s.minWidth = range->min_width;
    s.minHeight = range->min_height;
    s.maxWidth = range->max_width;
    s.maxHeight = range->max_height;
    s.width = geometry->width;
    s.height = geometry->height;
    s.primary = primary->output;
    // The setup block is current as of this connection, and so is its DPI.
    if (const xcb_screen_t &screen = *m_screen; screen.width_in_pixels && screen.height_in_pixels) {
        s.mmWidth = screen.width_in_millimeters;
        s.mmHeight = screen.height_in_millimeters;
        if (screen.width_in_pixels != s.width)
            s.mmWidth = uint32_t(double(s.mmWidth) * s.width / screen.width_in_pixels + 0.5);
        if (screen.height_in_pixels != s.height)
            s.mmHeight = uint32_t(double(s.mmHeight) * s.height / screen.height_in_pixels + 0.5);
    }

    const xcb_randr_crtc_t *crtcs = nullptr;
    const xcb_randr_output_t *outputs = nullptr;
    const xcb_randr_mode_info_t *modes = nullptr;
    const uint8_t *names = nullptr;
    int crtcCount = 0, outputCount = 0, modeCount = 0, namesLength = 0;
    Reply<xcb_randr_get_screen_resources_reply_t> all =
        reply<xcb_randr_get_screen_resources_reply_t>(nullptr);
    Reply<xcb_randr_get_screen_resources_current_reply_t> current =
        reply<xcb_randr_get_screen_resources_current_reply_t>(nullptr);
    if (probe) {
        all = reply(xcb_randr_get_screen_resources_reply(c, allCookie, &error));
        if (all) {
            s.configTimestamp = all->config_timestamp;
            s.timestamp = all->timestamp;
            crtcs = Wire::resourceCrtcs(all.get());
            crtcCount = all->num_crtcs;
            outputs = Wire::resourceOutputs(all.get());
            outputCount = all->num_outputs;
            modes = Wire::resourceModes(all.get());
            modeCount = all->num_modes;
            names = Wire::resourceNames(all.get());
            namesLength = all->names_len;
        }
    } else {
        current = reply(xcb_randr_get_screen_resources_current_reply(c, currentCookie, &error));
        if (current) {
            s.configTimestamp = current->config_timestamp;
            s.timestamp = current->timestamp;
            crtcs = Wire::resourceCrtcs(current.get());
            crtcCount = current->num_crtcs;
            outputs = Wire::resourceOutputs(current.get());
            outputCount = current->num_outputs;
            modes = Wire::resourceModes(current.get());
            modeCount = current->num_modes;
            names = Wire::resourceNames(current.get());
            namesLength = current->names_len;
        }
    }
    if (!crtcs && !outputs && !modes && error)
        return refused("the screen resources", error, reason);

    // Asked at another configuration's time, what was expected is asked again.
    if (expected && s.configTimestamp != expected->configTimestamp)
        discard();
    // Each one's requests: the ones asked along with the screen, or now.
    const auto cookiesOf = [&s](const auto *ids, int count, auto &asked, auto ask) {
        QList<typename std::decay_t<decltype(asked)>::mapped_type> cookies;
        cookies.reserve(count);
        for (int i = 0; i < count; ++i) {
            const auto found = asked.constFind(ids[i]);
            if (found == asked.constEnd()) {
                cookies.append(ask(ids[i], s.configTimestamp));
            } else {
                cookies.append(*found);
                asked.erase(found);
            }
        }
        return cookies;
    };
    QList<CrtcCookies> crtcCookies = cookiesOf(crtcs, crtcCount, crtcsAsked, askCrtc);
    const QList<OutputCookies> outputCookies = cookiesOf(outputs, outputCount, outputsAsked, askOutput);
    // Expected and gone.
    discard();
    xcb_flush(c);

    // While the server answers those. The modes and their names follow one
    // another in the reply: the same bytes as expected are the same modes.
    const QByteArrayView modeBytes(reinterpret_cast<const char *>(modes),
                                   modes ? qsizetype(modeCount) * qsizetype(sizeof *modes) + namesLength : 0);
    if (expected && expected->modeBytes == modeBytes) {
        s.modes = expected->modes;
        s.modeBytes = expected->modeBytes;
    } else {
        readModes(modes, modeCount, names, &s.modes);
        s.modeBytes = modeBytes.toByteArray();
    }

    // The CRTCs in use whose ramps and transform were not asked along.
    QList<int> lateDetails;
    for (int i = 0; i < crtcCount; ++i) {
        CrtcState crtc;
        crtc.id = crtcs[i];
        crtc.transformRead = !m_transforms;
        CrtcCookies &cookies = crtcCookies[i];
        auto info = reply(xcb_randr_get_crtc_info_reply(c, cookies.info, &error));
        const bool inUse = info && info->mode != XCB_NONE;
        bool late = false;
        if (!inUse) {
            if (cookies.gamma.sequence)
                xcb_discard_reply(c, cookies.gamma.sequence);
            if (cookies.transform.sequence)
                xcb_discard_reply(c, cookies.transform.sequence);
            cookies.gamma.sequence = cookies.transform.sequence = 0;
        } else if (!cookies.gamma.sequence) {
            askDetails(crtc.id, &cookies);
            lateDetails.append(i);
            late = true;
        }
        if (!info)
            return refused("a CRTC's state", error, reason);
        crtc.x = info->x;
        crtc.y = info->y;
        crtc.width = info->width;
        crtc.height = info->height;
        crtc.mode = info->mode;
        crtc.rotation = info->rotation;
        crtc.rotations = info->rotations;
        crtc.outputs = listOf(Wire::crtcOutputs(info.get()), info->num_outputs);
        crtc.possible = listOf(Wire::crtcPossible(info.get()), info->num_possible_outputs);
        if (inUse && !late)
            readDetails(c, cookies.gamma, cookies.transform, &crtc);
        s.crtcs.insert(crtc.id, crtc);
    }

    const xcb_atom_t wanted[] = {
        m_atoms.edid,      m_atoms.connectorType,    m_atoms.broadcastRgb,     m_atoms.maxBpc,
        m_atoms.underscan, m_atoms.underscanHBorder, m_atoms.underscanVBorder, m_atoms.replicaOf,
        m_atoms.gamma,     m_atoms.backlight};
    struct PropertyCookies {
        xcb_randr_output_t output;
        xcb_atom_t atom;
        xcb_randr_get_output_property_cookie_t value;
        xcb_randr_query_output_property_cookie_t query;
    };
    QList<PropertyCookies> propertyRequests;
    for (int i = 0; i < outputCount; ++i) {
        OutputState output;
        output.id = outputs[i];
        auto info = reply(xcb_randr_get_output_info_reply(c, outputCookies[i].info, &error));
        auto list = reply(xcb_randr_list_output_properties_reply(c, outputCookies[i].properties, nullptr));
        if (!info)
            return refused("an output's state", error, reason);
        output.name = QString::fromUtf8(Wire::outputName(info.get()), info->name_len);
        output.crtc = info->crtc;
        output.connected = info->connection == XCB_RANDR_CONNECTION_CONNECTED;
        output.crtcs = listOf(Wire::outputCrtcs(info.get()), info->num_crtcs);
        output.modes = listOf(Wire::outputModes(info.get()), info->num_modes);
        output.preferred = info->num_preferred;
        if (list) {
            const xcb_atom_t *atoms = Wire::propertyAtoms(list.get());
            for (int k = 0; k < list->num_atoms; ++k) {
                const xcb_atom_t atom = atoms[k];
                if (atom == XCB_NONE ||
                    std::find(std::begin(wanted), std::end(wanted), atom) == std::end(wanted))
                    continue;
                // Our gamma record holds three ramps of up to 4096 steps.
                const uint32_t units = atom == m_atoms.gamma ? 6 * 4096 : 1024;
                propertyRequests.append({output.id, atom,
                                         xcb_randr_get_output_property(
                                             c, output.id, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, units, 0, 0),
                                         xcb_randr_query_output_property(c, output.id, atom)});
            }
        }
        s.outputs.insert(output.id, output);
    }
    for (const int i : std::as_const(lateDetails))
        readDetails(c, crtcCookies[i].gamma, crtcCookies[i].transform, &s.crtcs[crtcs[i]]);
    for (const PropertyCookies &request : std::as_const(propertyRequests)) {
        auto value = reply(xcb_randr_get_output_property_reply(c, request.value, nullptr));
        auto query = reply(xcb_randr_query_output_property_reply(c, request.query, nullptr));
        if (!value || !query)
            continue;
        Property property;
        property.type = value->type;
        property.format = value->format;
        property.data =
            QByteArray(reinterpret_cast<const char *>(xcb_randr_get_output_property_data(value.get())),
                       xcb_randr_get_output_property_data_length(value.get()));
        property.range = query->range;
        property.immutable = query->immutable;
        property.validValues = listOf(xcb_randr_query_output_property_valid_values(query.get()),
                                      xcb_randr_query_output_property_valid_values_length(query.get()));
        s.outputs[request.output].properties.insert(request.atom, property);
    }

    // Named here, so that what was read is understood without the server.
    s.atoms = m_atoms;
    s.driverRamps = m_driverRamps;
    QList<xcb_atom_t> enumeratedValues;
    for (const OutputState &output : std::as_const(s.outputs)) {
        for (const xcb_atom_t enumerated : {m_atoms.connectorType, m_atoms.broadcastRgb, m_atoms.underscan}) {
            const auto property = output.properties.constFind(enumerated);
            if (enumerated == XCB_NONE || property == output.properties.constEnd() || property->format != 32)
                continue;
            for (const int32_t atom : property->validValues)
                enumeratedValues.append(xcb_atom_t(atom));
            enumeratedValues.append(xcb_atom_t(property->value().value_or(0)));
        }
    }
    nameAtoms(enumeratedValues);
    for (const xcb_atom_t atom : std::as_const(enumeratedValues))
        s.atomNames.insert(atom, m_atomNames.value(atom));

    if (m_dpms) {
        if (auto info = reply(xcb_dpms_info_reply(c, dpmsCookie, nullptr))) {
            if (info->state && info->power_level <= XCB_DPMS_DPMS_MODE_OFF)
                s.dpms = Output::DpmsMode(info->power_level);
        }
    }
    if (xcb_connection_has_error(c)) {
        *reason = errorText("the screen's state", nullptr);
        return false;
    }
    *state = std::move(s);
    return true;
}

void readModes(const xcb_randr_mode_info_t *modes, int count, const uint8_t *names,
               QHash<xcb_randr_mode_t, ModeLine> *into)
{
    into->reserve(into->size() + count);
    for (int i = 0; i < count; ++i) {
        const xcb_randr_mode_info_t &info = modes[i];
        ModeLine &mode = (*into)[info.id];
        mode.id = info.id;
        mode.name = QByteArray(reinterpret_cast<const char *>(names), info.name_len);
        names += info.name_len;
        mode.timings = {info.width,     info.height, info.dot_clock, info.hsync_start,
                        info.hsync_end, info.htotal, info.hskew,     info.vsync_start,
                        info.vsync_end, info.vtotal, info.mode_flags};
    }
}

} // namespace Dispor::X11

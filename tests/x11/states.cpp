#include "states.h"

namespace x11 {

ModeLine modeLine(xcb_randr_mode_t id, uint16_t width, uint16_t height, const QByteArray &name)
{
    ModeLine mode;
    mode.id = id;
    mode.name = name.isEmpty() ? QByteArray::number(width) + 'x' + QByteArray::number(height) : name;
    mode.timings.width = width;
    mode.timings.height = height;
    mode.timings.htotal = uint16_t(width + 160);
    mode.timings.vtotal = uint16_t(height + 40);
    mode.timings.dotClock = uint32_t(mode.timings.htotal) * mode.timings.vtotal * 60;
    return mode;
}

QList<uint16_t> straightRamp()
{
    QList<uint16_t> ramp;
    for (int i = 0; i < 256; ++i)
        ramp.append(uint16_t(i << 8));
    return ramp;
}

CrtcState crtc(xcb_randr_crtc_t id, QList<xcb_randr_output_t> outputs, int16_t x, xcb_randr_mode_t mode)
{
    CrtcState c;
    c.id = id;
    c.x = x;
    c.mode = outputs.isEmpty() ? XCB_NONE : mode;
    c.width = c.mode ? (mode == big ? 1920 : 1280) : 0;
    c.height = c.mode ? (mode == big ? 1080 : 1024) : 0;
    c.rotations = allRotations;
    c.outputs = outputs;
    c.possible = {dp1, dp2, hdmi};
    c.red = c.green = c.blue = straightRamp();
    c.transformRead = true;
    return c;
}

OutputState output(xcb_randr_output_t id, const char *name, xcb_randr_crtc_t on)
{
    OutputState o;
    o.id = id;
    o.name = QString::fromLatin1(name);
    o.crtc = on;
    o.connected = true;
    o.crtcs = {c1, c2, c3};
    o.modes = {big, small};
    o.preferred = 1;
    return o;
}

// DP-1 at 0,0 (primary) and DP-2 at 1920,0, both 1920x1080, HDMI-1
// connected and off; three CRTCs, one idle.
ServerState threeOutputs()
{
    ServerState s;
    s.width = 3840;
    s.height = 1080;
    s.minWidth = 320;
    s.minHeight = 200;
    s.maxWidth = s.maxHeight = 8192;
    s.modes = {{big, modeLine(big, 1920, 1080)}, {small, modeLine(small, 1280, 1024)}};
    s.crtcs = {{c1, crtc(c1, {dp1}, 0)}, {c2, crtc(c2, {dp2}, 1920)}, {c3, crtc(c3, {}, 0)}};
    s.outputs = {
        {dp1, output(dp1, "DP-1", c1)}, {dp2, output(dp2, "DP-2", c2)}, {hdmi, output(hdmi, "HDMI-1", 0)}};
    s.primary = dp1;
    s.atoms.replicaOf = replicaOf;
    s.atoms.maxBpc = maxBpc;
    s.atoms.gamma = gammaRecord;
    return s;
}

// Our mark on a replica, made in the configuration of that timestamp.
Property mark(xcb_randr_output_t source, xcb_timestamp_t timestamp)
{
    Property p;
    p.type = XCB_ATOM_INTEGER;
    p.format = 32;
    p.data = replicaMarkData(source, timestamp);
    return p;
}

Property integer(int32_t value)
{
    Property p;
    p.type = XCB_ATOM_INTEGER;
    p.format = 32;
    p.data = QByteArray(reinterpret_cast<const char *>(&value), 4);
    return p;
}

// The server after a gamma write: the ramps on the CRTC, our record on the output.
void hold(ServerState &state, const GammaWrite &write)
{
    CrtcState &crtc = state.crtcs[write.crtc];
    crtc.red = write.red;
    crtc.green = write.green;
    crtc.blue = write.blue;
    Property record;
    record.type = XCB_ATOM_INTEGER;
    record.format = 16;
    record.data = write.record;
    state.outputs[write.output].properties.insert(gammaRecord, record);
}

// DP-1 mirrors DP-2 at 0,0, as our mark says.
ServerState dp1MirrorsDp2()
{
    ServerState s = threeOutputs();
    s.width = 1920;
    s.timestamp = 4000;
    s.crtcs[c2].x = 0;
    s.outputs[dp1].properties.insert(replicaOf, mark(dp2, s.timestamp));
    return s;
}

} // namespace x11

#include "panel.h"

#include "../text.h"
#include "../wording.h"
#include "device.h"
#include "setter.h"

#include <QDeadlineTimer>
#include <QThread>

#include <cmath>

namespace Dispor::Backlight {

namespace {

// How long a level set is read back: logind answers once it wrote it.
constexpr int readBackMilliseconds = 1000;

double brightnessOf(int64_t level, int64_t maxLevel)
{
    return double(level) / double(maxLevel);
}

} // namespace

void offer(Config &config, const Backend &backend)
{
    ConfigOrigin &origin = originOf(config);
    QString root;
    for (const OutputPtr &output : config.outputs()) {
        Output::Data &d = dataOf(*output);
        if (!isBuiltInPanel(d.name) || backend.carriesLight(d))
            continue;
        if (root.isEmpty())
            root = sysfsRoot();
        const std::optional<Device> device = choose(root, d.name);
        if (!device)
            continue;
        origin.kernelLights.insert(d.id,
                                   {device->name, device->brightness, device->maxBrightness, d.brightness});
        d.capabilities |= Output::Capability::BrightnessControl;
        d.brightness = brightnessOf(device->brightness, device->maxBrightness);
        if (const auto fetched = origin.fetched.find(d.id); fetched != origin.fetched.end()) {
            fetched->capabilities = d.capabilities;
            fetched->brightness = d.brightness;
        }
    }
}

Applied Part::takeOut(QString *reason)
{
    ConfigOrigin &origin = originOf(m_config);
    const QString root = origin.kernelLights.isEmpty() ? QString() : sysfsRoot();
    for (auto light = origin.kernelLights.cbegin(); light != origin.kernelLights.cend(); ++light) {
        const OutputPtr output = m_config.output(light.key());
        const auto fetched = origin.fetched.constFind(light.key());
        if (!output || fetched == origin.fetched.cend())
            continue;
        const double wanted = output->data().brightness;
        if (wanted == fetched->brightness)
            continue;
        if (!(wanted >= 0 && wanted <= 1)) {
            *reason =
                output->name() + ": " + Wording::outsideRange("brightness", QString::number(wanted), 0, 1);
            return Applied::Refused;
        }
        const std::optional<int64_t> now = level(root, light->device);
        if (!now) {
            *reason = output->name() + ": the backlight " + quoted(light->device) + " cannot be read";
            return Applied::Refused;
        }
        if (*now != light->level) {
            *reason = output->name() + ": the backlight changed since it was read";
            return Applied::Conflict;
        }
        m_changes.append({light.key(), output->name(), std::llround(wanted * double(light->maxLevel))});
    }
    for (auto light = origin.kernelLights.cbegin(); light != origin.kernelLights.cend(); ++light) {
        const OutputPtr output = m_config.output(light.key());
        const auto fetched = origin.fetched.find(light.key());
        if (!output || fetched == origin.fetched.end())
            continue;
        m_taken.append({light.key(), output->data().brightness, fetched->brightness});
        dataOf(*output).brightness = light->serverBrightness;
        fetched->brightness = light->serverBrightness;
    }
    return Applied::Done;
}

void Part::putBack()
{
    ConfigOrigin &origin = originOf(m_config);
    for (const Taken &taken : std::as_const(m_taken)) {
        if (const OutputPtr output = m_config.output(taken.id))
            dataOf(*output).brightness = taken.wanted;
        origin.fetched[taken.id].brightness = taken.fetched;
    }
    m_taken.clear();
}

Applied Part::set(QString *reason)
{
    ConfigOrigin &origin = originOf(m_config);
    const QString root = sysfsRoot();
    QStringList kept;
    for (const Change &change : std::as_const(m_changes)) {
        KernelLight &light = origin.kernelLights[change.id];
        QString why;
        if (!Backlight::set(light.device, uint32_t(change.level), &why)) {
            *reason = change.output + ": " + why;
            return Applied::Refused;
        }
        // Bounded: what sysfs holds after logind answered, until it is the
        // level sent or the time is up.
        const QDeadlineTimer deadline(readBackMilliseconds);
        std::optional<int64_t> held = level(root, light.device);
        while (held != change.level && !deadline.hasExpired()) {
            QThread::msleep(10);
            held = level(root, light.device);
        }
        if (held != change.level) {
            kept.append(escaped(change.output + ": " +
                                Wording::notHeld("logind", "brightness",
                                                 QString::number(brightnessOf(change.level, light.maxLevel)),
                                                 held ? QString::number(brightnessOf(*held, light.maxLevel))
                                                      : u"unreadable"_qs)));
            continue;
        }
        light.level = change.level;
    }
    m_changes.clear();
    if (kept.isEmpty())
        return Applied::Done;
    *reason = kept.join(u'\n');
    return Applied::NotHeld;
}

} // namespace Dispor::Backlight

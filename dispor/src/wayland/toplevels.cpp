// The focused window's outputs, as foreign-toplevel management tells them:
// for compositors that name no focused output of their own.

#include "client.h"

#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <algorithm>

namespace Dispor::Wayland {

namespace {

struct Toplevel {
    zwlr_foreign_toplevel_handle_v1 *handle = nullptr;
    std::vector<wl_output *> outputs;
    bool activated = false;
};

using Toplevels = std::vector<std::unique_ptr<Toplevel>>;

Toplevel *toplevel(void *data)
{
    return static_cast<Toplevel *>(data);
}

const zwlr_foreign_toplevel_handle_v1_listener handleListener = {
    .title = [](void *, zwlr_foreign_toplevel_handle_v1 *, const char *) {},
    .app_id = [](void *, zwlr_foreign_toplevel_handle_v1 *, const char *) {},
    .output_enter = [](void *data, zwlr_foreign_toplevel_handle_v1 *,
                       wl_output *output) { toplevel(data)->outputs.push_back(output); },
    .output_leave = [](void *data, zwlr_foreign_toplevel_handle_v1 *,
                       wl_output *output) { std::erase(toplevel(data)->outputs, output); },
    .state =
        [](void *data, zwlr_foreign_toplevel_handle_v1 *, wl_array *states) {
            const auto *state = static_cast<const uint32_t *>(states->data);
            const size_t count = states->size / sizeof *state;
            toplevel(data)->activated =
                std::find(state, state + count, ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED) !=
                state + count;
        },
    .done = [](void *, zwlr_foreign_toplevel_handle_v1 *) {},
    // Gone: it is no one's focus any longer.
    .closed = [](void *data, zwlr_foreign_toplevel_handle_v1 *) { toplevel(data)->activated = false; },
    .parent = [](void *, zwlr_foreign_toplevel_handle_v1 *, zwlr_foreign_toplevel_handle_v1 *) {},
};

const zwlr_foreign_toplevel_manager_v1_listener managerListener = {
    .toplevel =
        [](void *data, zwlr_foreign_toplevel_manager_v1 *, zwlr_foreign_toplevel_handle_v1 *handle) {
            auto t = std::make_unique<Toplevel>();
            t->handle = handle;
            zwlr_foreign_toplevel_handle_v1_add_listener(handle, &handleListener, t.get());
            static_cast<Toplevels *>(data)->push_back(std::move(t));
        },
    .finished = [](void *, zwlr_foreign_toplevel_manager_v1 *) {},
};

} // namespace

bool Session::focus(Focus *focus, QString *reason)
{
    // Its outputs first: the compositor tells a toplevel's outputs as the
    // wl_outputs this client has bound.
    if (!bindOutputs(reason))
        return false;
    Toplevels toplevels;
    auto *manager = static_cast<zwlr_foreign_toplevel_manager_v1 *>(wl_registry_bind(
        m_registry, m_toplevelsName, &zwlr_foreign_toplevel_manager_v1_interface, m_toplevelsVersion));
    zwlr_foreign_toplevel_manager_v1_add_listener(manager, &managerListener, &toplevels);
    // Each toplevel comes with its whole state; one round trip brings them
    // all. Then no more: the compositor confirms with finished, on the
    // next round trip.
    bool ok = roundtrip(reason);
    if (ok) {
        zwlr_foreign_toplevel_manager_v1_stop(manager);
        ok = roundtrip(reason);
    }
    *focus = {};
    for (const std::unique_ptr<Toplevel> &t : toplevels) {
        if (ok && t->activated) {
            ++focus->windows;
            for (const Output &output : m_outputs) {
                // Unnamed (before wl_output version 4): not one to tell.
                if (std::find(t->outputs.begin(), t->outputs.end(), output.proxy) != t->outputs.end() &&
                    !output.name.isEmpty() && !focus->outputs.contains(output.name))
                    focus->outputs.append(output.name);
            }
        }
        zwlr_foreign_toplevel_handle_v1_destroy(t->handle);
    }
    focus->outputs.sort();
    // After finished the compositor has let go of it; before (a broken
    // connection), nothing more comes for it either.
    wl_proxy_destroy(reinterpret_cast<wl_proxy *>(manager));
    wl_display_flush(m_display);
    return ok;
}

} // namespace Dispor::Wayland

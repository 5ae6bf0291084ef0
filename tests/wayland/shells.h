/*
 * What clients can show on the test compositor: layer-shell surfaces and
 * xdg-shell windows, each told on standard output when it is mapped and
 * when it goes, and windows of its own that foreign-toplevel management
 * tells clients about. Nothing is drawn; what a surface's buffer holds is
 * looked at.
 */
#pragma once

#include <stdbool.h>

struct wl_display;
struct wlr_output;
struct wlr_output_layout;
struct wlr_renderer;

/* The shells asked for, on display; a layer surface that names no output
 * goes on the layout's first. */
void shells_create(struct wl_display *display, struct wlr_renderer *renderer,
                   struct wlr_output_layout *layout, bool layer_shell, bool xdg_shell);

/* A window that foreign-toplevel management lists, on the outputs given
 * (none: on no output), activated where focused. */
void shells_add_window(struct wl_display *display, struct wlr_output **outputs, int count, bool focused);

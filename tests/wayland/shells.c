/*
 * The lines it prints, one per event:
 *   layer OUTPUT LAYER WxH input:none|some keyboard:none|some drawn|blank
 *   layer OUTPUT gone
 *   window OUTPUT fullscreen|windowed WxH input:none|some drawn|blank
 *   window OUTPUT gone
 * WxH is the surface's size; drawn means its buffer holds more than one
 * colour.
 */

#define _POSIX_C_SOURCE 200809L

#include "shells.h"

#include <stdio.h>
#include <stdlib.h>

#include <pixman.h>
#include <wayland-server-core.h>
#include <wlr/render/pixman.h>
#include <wlr/types/wlr_compositor.h>
#include <wlr/types/wlr_foreign_toplevel_management_v1.h>
#include <wlr/types/wlr_layer_shell_v1.h>
#include <wlr/types/wlr_output.h>
#include <wlr/types/wlr_output_layout.h>
#include <wlr/types/wlr_xdg_shell.h>

struct shown {
	const char *kind; /* "layer" or "window" */
	char output[64];
	struct wl_listener map;
	struct wl_listener destroy;
	struct wlr_layer_surface_v1 *layer;
	struct wlr_xdg_surface *xdg;
};

static struct wlr_output_layout *shells_layout;
static struct wlr_foreign_toplevel_manager_v1 *toplevels;

static const char *drawn(struct wlr_surface *surface)
{
	struct wlr_texture *texture = wlr_surface_get_texture(surface);
	if (!texture || !wlr_texture_is_pixman(texture))
		return "blank";
	pixman_image_t *image = wlr_pixman_texture_get_image(texture);
	const uint32_t *data = pixman_image_get_data(image);
	int stride = pixman_image_get_stride(image) / 4;
	int width = pixman_image_get_width(image), height = pixman_image_get_height(image);
	if (!data || width <= 0 || height <= 0)
		return "blank";
	for (int y = 0; y < height; ++y) {
		for (int x = 0; x < width; ++x) {
			if (data[y * stride + x] != data[0])
				return "drawn";
		}
	}
	return "blank";
}

static const char *input(struct wlr_surface *surface)
{
	return pixman_region32_not_empty(&surface->input_region) ? "some" : "none";
}

static void handle_map(struct wl_listener *listener, void *data)
{
	(void)data;
	struct shown *shown = wl_container_of(listener, shown, map);
	if (shown->layer) {
		struct wlr_layer_surface_v1 *layer = shown->layer;
		static const char *layers[] = {"background", "bottom", "top", "overlay"};
		printf("layer %s %s %dx%d input:%s keyboard:%s %s\n", shown->output,
			layer->current.layer <= 3 ? layers[layer->current.layer] : "?", layer->surface->current.width,
			layer->surface->current.height, input(layer->surface),
			layer->current.keyboard_interactive ? "some" : "none", drawn(layer->surface));
	} else {
		struct wlr_xdg_surface *xdg = shown->xdg;
		printf("window %s %s %dx%d input:%s %s\n", shown->output,
			xdg->toplevel->current.fullscreen ? "fullscreen" : "windowed", xdg->surface->current.width,
			xdg->surface->current.height, input(xdg->surface), drawn(xdg->surface));
	}
	fflush(stdout);
}

static void handle_destroy(struct wl_listener *listener, void *data)
{
	(void)data;
	struct shown *shown = wl_container_of(listener, shown, destroy);
	printf("%s %s gone\n", shown->kind, shown->output);
	fflush(stdout);
	wl_list_remove(&shown->map.link);
	wl_list_remove(&shown->destroy.link);
	free(shown);
}

static struct shown *watch(const char *kind, struct wlr_output *output, struct wl_signal *map,
	struct wl_signal *destroy)
{
	struct shown *shown = calloc(1, sizeof *shown);
	shown->kind = kind;
	snprintf(shown->output, sizeof shown->output, "%s", output ? output->name : "-");
	shown->map.notify = handle_map;
	wl_signal_add(map, &shown->map);
	shown->destroy.notify = handle_destroy;
	wl_signal_add(destroy, &shown->destroy);
	return shown;
}

static void handle_new_layer_surface(struct wl_listener *listener, void *data)
{
	(void)listener;
	struct wlr_layer_surface_v1 *layer = data;
	if (!layer->output) {
		struct wlr_output_layout_output *first = wl_list_empty(&shells_layout->outputs) ? NULL
			: wl_container_of(shells_layout->outputs.next, first, link);
		if (!first) {
			wlr_layer_surface_v1_destroy(layer);
			return;
		}
		layer->output = first->output;
	}
	/* Anchored to opposite edges, a dimension of 0 is the output's. */
	uint32_t width = layer->pending.desired_width, height = layer->pending.desired_height;
	if (width == 0)
		width = (uint32_t)layer->output->width;
	if (height == 0)
		height = (uint32_t)layer->output->height;
	struct shown *shown = watch("layer", layer->output, &layer->events.map, &layer->events.destroy);
	shown->layer = layer;
	wlr_layer_surface_v1_configure(layer, width, height);
}

static void handle_new_xdg_surface(struct wl_listener *listener, void *data)
{
	(void)listener;
	struct wlr_xdg_surface *xdg = data;
	if (xdg->role != WLR_XDG_SURFACE_ROLE_TOPLEVEL)
		return;
	struct wlr_xdg_toplevel *toplevel = xdg->toplevel;
	struct wlr_output *output = toplevel->requested.fullscreen ? toplevel->requested.fullscreen_output : NULL;
	struct shown *shown = watch("window", output, &xdg->events.map, &xdg->events.destroy);
	shown->xdg = xdg;
	if (output) {
		wlr_xdg_toplevel_set_fullscreen(xdg, true);
		wlr_xdg_toplevel_set_size(xdg, (uint32_t)output->width, (uint32_t)output->height);
	}
}

void shells_create(struct wl_display *display, struct wlr_renderer *renderer, struct wlr_output_layout *layout,
	bool layer_shell, bool xdg_shell)
{
	static struct wl_listener new_layer_surface, new_xdg_surface;
	shells_layout = layout;
	wlr_renderer_init_wl_display(renderer, display);
	wlr_compositor_create(display, renderer);
	if (layer_shell) {
		struct wlr_layer_shell_v1 *shell = wlr_layer_shell_v1_create(display);
		new_layer_surface.notify = handle_new_layer_surface;
		wl_signal_add(&shell->events.new_surface, &new_layer_surface);
	}
	if (xdg_shell) {
		struct wlr_xdg_shell *shell = wlr_xdg_shell_create(display);
		new_xdg_surface.notify = handle_new_xdg_surface;
		wl_signal_add(&shell->events.new_surface, &new_xdg_surface);
	}
}

void shells_add_window(struct wl_display *display, struct wlr_output **outputs, int count, bool focused)
{
	if (!toplevels)
		toplevels = wlr_foreign_toplevel_manager_v1_create(display);
	struct wlr_foreign_toplevel_handle_v1 *handle = wlr_foreign_toplevel_handle_v1_create(toplevels);
	wlr_foreign_toplevel_handle_v1_set_title(handle, focused ? "focused" : "unfocused");
	for (int i = 0; i < count; ++i)
		wlr_foreign_toplevel_handle_v1_output_enter(handle, outputs[i]);
	wlr_foreign_toplevel_handle_v1_set_activated(handle, focused);
}

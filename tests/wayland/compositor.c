/*
 * A small wlroots compositor for the Wayland backend's tests: headless
 * outputs with the names, sizes and monitor identities its arguments give,
 * output management and output power management, layer-shell and xdg-shell
 * surfaces it tells of (shells.c), and nothing to show.
 *
 *   test-compositor [--max-size WxH] [--no-power] [--no-management]
 *                   [--ignore-custom-modes] [--misreport-enabled]
 *                   [--ignore-power] [--stall-after-apply]
 *                   [--no-layer-shell] [--no-xdg-shell]
 *                   [--window OUTPUT,...] [--focused-window OUTPUT,...]
 *                   [--spare NAME:WxH@MHZ]
 *                   --output NAME:WxH@MHZ[:MAKE:MODEL:SERIAL] ...
 *
 * --max-size makes every configuration fail, as a whole, that gives an
 * enabled output a larger mode. The others copy faults of compositors met
 * in use: --ignore-custom-modes accepts a custom mode and keeps the mode
 * the output had; --misreport-enabled reports an output that a client
 * switched off as still enabled (it is dark and out of the layout: no
 * wl_output); --ignore-power neither takes nor answers a power request;
 * --stall-after-apply answers the first configuration it applies, then
 * stops answering for 12 s. --window and --focused-window add a window on
 * the outputs named ("-": on none) that foreign-toplevel management lists,
 * the second activated; without either it offers no such management.
 * SIGUSR1 plugs the --spare output in (once), SIGUSR2 unplugs the last
 * output, each then printing "plugged NAME" or "unplugged NAME".
 * Once its socket listens it prints
 * "ready SOCKET" on standard output, and then "power NAME on|off|failed|ignored"
 * for each power request and "power object" for each power object a
 * client makes; it ends on SIGTERM or SIGINT. Its layout, with
 * the logical sizes wlroots computes, is told through xdg-output.
 */

#define _POSIX_C_SOURCE 200809L

#include <signal.h>
#include <stdbool.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <wayland-server-core.h>
#include <wlr/backend.h>
#include <wlr/backend/headless.h>
#include <wlr/render/allocator.h>
#include <wlr/render/pixman.h>
#include <wlr/render/wlr_renderer.h>
#include <wlr/types/wlr_output.h>
#include <wlr/types/wlr_output_layout.h>
#include <wlr/types/wlr_output_management_v1.h>
#include <wlr/types/wlr_output_power_management_v1.h>
#include <wlr/types/wlr_xdg_output_v1.h>
#include <wlr/util/log.h>

#include "shells.h"

struct spec {
	char name[64];
	int width, height, refresh;
	char make[56], model[16], serial[16];
};

struct window {
	char outputs[256];
	bool focused;
};

struct server {
	struct wl_display *display;
	struct wlr_backend *backend;
	struct wlr_renderer *renderer;
	struct wlr_allocator *allocator;
	struct wlr_output_manager_v1 *manager;
	struct wlr_output_power_manager_v1 *power;
	struct wlr_output_layout *layout;
	struct wl_list outputs; /* output.link */
	const struct spec *pending; /* for the output being added */
	struct spec spare;
	bool has_spare;
	int next_x;
	int max_width, max_height; /* 0: no limit */
	bool ignore_custom_modes;
	bool misreport_enabled;
	bool ignore_power;
	bool stall_after_apply;

	struct wl_listener new_client;
	struct wl_listener new_output;
	struct wl_listener apply;
	struct wl_listener test;
	struct wl_listener set_power;
};

struct client_listeners {
	struct wl_listener resource_created;
	struct wl_listener destroyed;
};

struct output {
	struct wl_list link;
	struct server *server;
	struct wlr_output *wlr;
	bool enabled; /* in the layout, whatever its power */
	bool powered;
	int x, y;
	struct wl_listener destroy;
};

static void fail(const char *message)
{
	fprintf(stderr, "test-compositor: %s\n", message);
	exit(2);
}

static bool parse_spec(char *text, struct spec *spec)
{
	memset(spec, 0, sizeof *spec);
	char *fields[5] = {0};
	int count = 0;
	for (char *field = strtok(text, ":"); field && count < 5; field = strtok(NULL, ":"))
		fields[count++] = field;
	if (count != 2 && count != 5)
		return false;
	snprintf(spec->name, sizeof spec->name, "%s", fields[0]);
	if (sscanf(fields[1], "%dx%d@%d", &spec->width, &spec->height, &spec->refresh) != 3)
		return false;
	if (count == 5) {
		snprintf(spec->make, sizeof spec->make, "%s", fields[2]);
		snprintf(spec->model, sizeof spec->model, "%s", fields[3]);
		snprintf(spec->serial, sizeof spec->serial, "%s", fields[4]);
	}
	return spec->width > 0 && spec->height > 0 && spec->refresh >= 0;
}

/* Tells every client the outputs as the layout has them. */
static void publish(struct server *server)
{
	if (!server->manager)
		return;
	struct wlr_output_configuration_v1 *config = wlr_output_configuration_v1_create();
	struct output *output;
	wl_list_for_each(output, &server->outputs, link) {
		struct wlr_output_configuration_head_v1 *head =
			wlr_output_configuration_head_v1_create(config, output->wlr);
		/* Powered off is still enabled. */
		head->state.enabled = output->enabled || server->misreport_enabled;
		head->state.x = output->x;
		head->state.y = output->y;
	}
	wlr_output_manager_v1_set_configuration(server->manager, config);
}

/* The headless backend cannot switch an output off, so that is ours to
 * keep: an output is lit while it is in the layout and powered, and
 * wlroots tells power clients what wlr_output.enabled says. */
static void light(struct output *output)
{
	output->wlr->enabled = output->enabled && output->powered;
}

static void show_global(struct output *output, bool shown)
{
	if (shown)
		wlr_output_create_global(output->wlr);
	else
		wlr_output_destroy_global(output->wlr);
}

static void mode_size(const struct wlr_output_head_v1_state *state, int *width, int *height)
{
	if (state->mode) {
		*width = state->mode->width;
		*height = state->mode->height;
	} else {
		*width = state->custom_mode.width;
		*height = state->custom_mode.height;
	}
}

static void configure(struct server *server, struct wlr_output_configuration_v1 *config, bool test_only)
{
	bool ok = true;
	struct wlr_output_configuration_head_v1 *head;

	wl_list_for_each(head, &config->heads, link) {
		if (!head->state.enabled)
			continue;
		int width, height;
		mode_size(&head->state, &width, &height);
		if (width <= 0 || height <= 0 || head->state.scale <= 0)
			ok = false;
		if (server->max_width && (width > server->max_width || height > server->max_height))
			ok = false;
	}

	/* Every output is tested before any is committed, so that a refused
	 * configuration changes nothing. */
	wl_list_for_each(head, &config->heads, link)
		head->state.output->enabled = true;
	if (ok) {
		wl_list_for_each(head, &config->heads, link) {
			struct wlr_output *wlr = head->state.output;
			if (!head->state.enabled)
				continue;
			if (head->state.mode)
				wlr_output_set_mode(wlr, head->state.mode);
			else if (!server->ignore_custom_modes)
				wlr_output_set_custom_mode(wlr, head->state.custom_mode.width,
					head->state.custom_mode.height, head->state.custom_mode.refresh);
			wlr_output_set_transform(wlr, head->state.transform);
			wlr_output_set_scale(wlr, head->state.scale);
			if (!wlr_output_test(wlr))
				ok = false;
		}
	}

	wl_list_for_each(head, &config->heads, link) {
		struct wlr_output *wlr = head->state.output;
		if (!ok || test_only || !head->state.enabled) {
			wlr_output_rollback(wlr);
		} else if (!wlr_output_commit(wlr)) {
			ok = false;
		}
	}
	if (ok && !test_only) {
		wl_list_for_each(head, &config->heads, link) {
			struct output *output = head->state.output->data;
			if (head->state.enabled != output->enabled)
				show_global(output, head->state.enabled);
			if (head->state.enabled && !output->enabled)
				output->powered = true;
			output->enabled = head->state.enabled;
			if (head->state.enabled) {
				output->x = head->state.x;
				output->y = head->state.y;
				wlr_output_layout_add(server->layout, output->wlr, output->x, output->y);
			} else {
				wlr_output_layout_remove(server->layout, output->wlr);
			}
		}
	}
	wl_list_for_each(head, &config->heads, link)
		light(head->state.output->data);

	if (ok)
		wlr_output_configuration_v1_send_succeeded(config);
	else
		wlr_output_configuration_v1_send_failed(config);
	wlr_output_configuration_v1_destroy(config);
	if (!test_only)
		publish(server);
	if (ok && !test_only && server->stall_after_apply) {
		server->stall_after_apply = false;
		wl_display_flush_clients(server->display);
		sleep(12);
	}
}

static void handle_apply(struct wl_listener *listener, void *data)
{
	struct server *server = wl_container_of(listener, server, apply);
	configure(server, data, false);
}

static void handle_test(struct wl_listener *listener, void *data)
{
	struct server *server = wl_container_of(listener, server, test);
	configure(server, data, true);
}

static void handle_set_power(struct wl_listener *listener, void *data)
{
	struct server *server = wl_container_of(listener, server, set_power);
	struct wlr_output_power_v1_set_mode_event *event = data;
	struct output *output = event->output->data;
	bool on = event->mode == ZWLR_OUTPUT_POWER_V1_MODE_ON;
	if (server->ignore_power) {
		printf("power %s ignored\n", event->output->name);
		fflush(stdout);
		return;
	}
	if (output->enabled)
		output->powered = on;
	light(output);
	printf("power %s %s\n", event->output->name, !output->enabled ? "failed" : on ? "on" : "off");
	fflush(stdout);
	struct wlr_output_power_v1 *power;
	wl_list_for_each(power, &server->power->output_powers, link) {
		if (power->output != event->output)
			continue;
		if (output->enabled)
			zwlr_output_power_v1_send_mode(power->resource, on ? ZWLR_OUTPUT_POWER_V1_MODE_ON
				: ZWLR_OUTPUT_POWER_V1_MODE_OFF);
		else
			zwlr_output_power_v1_send_failed(power->resource);
	}
}

static void handle_resource_created(struct wl_listener *listener, void *data)
{
	(void)listener;
	if (strcmp(wl_resource_get_class(data), "zwlr_output_power_v1") == 0) {
		printf("power object\n");
		fflush(stdout);
	}
}

static void handle_client_destroyed(struct wl_listener *listener, void *data)
{
	(void)data;
	struct client_listeners *listeners = wl_container_of(listener, listeners, destroyed);
	wl_list_remove(&listeners->resource_created.link);
	wl_list_remove(&listeners->destroyed.link);
	free(listeners);
}

static void handle_new_client(struct wl_listener *listener, void *data)
{
	(void)listener;
	struct client_listeners *listeners = calloc(1, sizeof *listeners);
	listeners->resource_created.notify = handle_resource_created;
	wl_client_add_resource_created_listener(data, &listeners->resource_created);
	listeners->destroyed.notify = handle_client_destroyed;
	wl_client_add_destroy_listener(data, &listeners->destroyed);
}

static void handle_output_destroy(struct wl_listener *listener, void *data)
{
	(void)data;
	struct output *output = wl_container_of(listener, output, destroy);
	wl_list_remove(&output->destroy.link);
	wl_list_remove(&output->link);
	free(output);
}

static void handle_new_output(struct wl_listener *listener, void *data)
{
	struct server *server = wl_container_of(listener, server, new_output);
	struct wlr_output *wlr = data;
	const struct spec *spec = server->pending;
	if (!spec || !wlr_output_init_render(wlr, server->allocator, server->renderer))
		fail("cannot set up an output");

	struct output *output = calloc(1, sizeof *output);
	output->server = server;
	output->wlr = wlr;
	wlr->data = output;
	output->destroy.notify = handle_output_destroy;
	wl_signal_add(&wlr->events.destroy, &output->destroy);
	wl_list_insert(server->outputs.prev, &output->link);

	wlr_output_set_name(wlr, spec->name);
	snprintf(wlr->make, sizeof wlr->make, "%s", spec->make);
	snprintf(wlr->model, sizeof wlr->model, "%s", spec->model);
	snprintf(wlr->serial, sizeof wlr->serial, "%s", spec->serial);
	wlr_output_set_custom_mode(wlr, spec->width, spec->height, spec->refresh);
	wlr_output_enable(wlr, true);
	if (!wlr_output_commit(wlr))
		fail("cannot enable an output");
	output->enabled = true;
	output->powered = true;
	output->x = server->next_x;
	server->next_x += spec->width;
	wlr_output_create_global(wlr);
	wlr_output_layout_add(server->layout, wlr, output->x, output->y);
}

static void add_window(struct server *server, struct window *window)
{
	struct wlr_output *outputs[16];
	int count = 0;
	for (char *name = strtok(window->outputs, ","); name; name = strtok(NULL, ",")) {
		if (strcmp(name, "-") == 0)
			continue;
		struct output *output;
		bool found = false;
		wl_list_for_each(output, &server->outputs, link) {
			if (strcmp(output->wlr->name, name) == 0 && count < 16) {
				outputs[count++] = output->wlr;
				found = true;
			}
		}
		if (!found)
			fail("--window names an output there is not");
	}
	shells_add_window(server->display, outputs, count, window->focused);
}

static int handle_signal(int signal, void *data)
{
	(void)signal;
	wl_display_terminate(data);
	return 0;
}

/* Outputs come and go as a dock's would: the heads change, then the
 * manager's state. */
static int handle_plug(int signal, void *data)
{
	struct server *server = data;
	if (signal == SIGUSR1 && server->has_spare) {
		server->has_spare = false;
		server->pending = &server->spare;
		if (!wlr_headless_add_output(server->backend, server->spare.width, server->spare.height))
			fail("cannot add an output");
		server->pending = NULL;
		publish(server);
		printf("plugged %s\n", server->spare.name);
	} else if (signal == SIGUSR2 && !wl_list_empty(&server->outputs)) {
		struct output *last = wl_container_of(server->outputs.prev, last, link);
		char name[64];
		snprintf(name, sizeof name, "%s", last->wlr->name);
		wlr_output_destroy(last->wlr);
		publish(server);
		printf("unplugged %s\n", name);
	}
	fflush(stdout);
	return 0;
}

int main(int argc, char **argv)
{
	struct server server = {0};
	struct spec specs[16];
	int spec_count = 0;
	struct window windows[8];
	int window_count = 0;
	bool with_power = true, with_management = true, layer_shell = true, xdg_shell = true;

	for (int i = 1; i < argc; ++i) {
		if (strcmp(argv[i], "--max-size") == 0 && i + 1 < argc) {
			if (sscanf(argv[++i], "%dx%d", &server.max_width, &server.max_height) != 2)
				fail("--max-size takes WxH");
		} else if (strcmp(argv[i], "--output") == 0 && i + 1 < argc) {
			if (spec_count == 16 || !parse_spec(argv[++i], &specs[spec_count++]))
				fail("--output takes NAME:WxH@MHZ[:MAKE:MODEL:SERIAL]");
		} else if (strcmp(argv[i], "--no-power") == 0) {
			with_power = false;
		} else if (strcmp(argv[i], "--no-management") == 0) {
			with_management = false;
		} else if (strcmp(argv[i], "--ignore-custom-modes") == 0) {
			server.ignore_custom_modes = true;
		} else if (strcmp(argv[i], "--misreport-enabled") == 0) {
			server.misreport_enabled = true;
		} else if (strcmp(argv[i], "--ignore-power") == 0) {
			server.ignore_power = true;
		} else if (strcmp(argv[i], "--stall-after-apply") == 0) {
			server.stall_after_apply = true;
		} else if (strcmp(argv[i], "--spare") == 0 && i + 1 < argc) {
			if (!parse_spec(argv[++i], &server.spare))
				fail("--spare takes NAME:WxH@MHZ");
			server.has_spare = true;
		} else if (strcmp(argv[i], "--no-layer-shell") == 0) {
			layer_shell = false;
		} else if (strcmp(argv[i], "--no-xdg-shell") == 0) {
			xdg_shell = false;
		} else if ((strcmp(argv[i], "--window") == 0 || strcmp(argv[i], "--focused-window") == 0) &&
			i + 1 < argc) {
			if (window_count == 8)
				fail("at most 8 windows");
			windows[window_count].focused = strcmp(argv[i], "--focused-window") == 0;
			snprintf(windows[window_count++].outputs, sizeof windows[0].outputs, "%s", argv[++i]);
		} else {
			fail("unknown argument");
		}
	}

	wlr_log_init(getenv("TEST_COMPOSITOR_DEBUG") ? WLR_DEBUG : WLR_ERROR, NULL);
	wl_list_init(&server.outputs);
	server.display = wl_display_create();
	server.backend = wlr_headless_backend_create(server.display);
	server.renderer = wlr_pixman_renderer_create();
	if (!server.backend || !server.renderer)
		fail("cannot create the headless backend");
	server.allocator = wlr_allocator_autocreate(server.backend, server.renderer);
	if (!server.allocator)
		fail("cannot create an allocator");

	server.new_client.notify = handle_new_client;
	wl_display_add_client_created_listener(server.display, &server.new_client);
	server.layout = wlr_output_layout_create();
	wlr_xdg_output_manager_v1_create(server.display, server.layout);

	server.new_output.notify = handle_new_output;
	wl_signal_add(&server.backend->events.new_output, &server.new_output);

	if (with_management) {
		server.manager = wlr_output_manager_v1_create(server.display);
		server.apply.notify = handle_apply;
		wl_signal_add(&server.manager->events.apply, &server.apply);
		server.test.notify = handle_test;
		wl_signal_add(&server.manager->events.test, &server.test);
	}
	if (with_power) {
		server.power = wlr_output_power_manager_v1_create(server.display);
		server.set_power.notify = handle_set_power;
		wl_signal_add(&server.power->events.set_mode, &server.set_power);
	}

	if (!wlr_backend_start(server.backend))
		fail("cannot start the backend");
	for (int i = 0; i < spec_count; ++i) {
		server.pending = &specs[i];
		if (!wlr_headless_add_output(server.backend, specs[i].width, specs[i].height))
			fail("cannot add an output");
	}
	server.pending = NULL;
	publish(&server);
	shells_create(server.display, server.renderer, server.layout, layer_shell, xdg_shell);
	for (int i = 0; i < window_count; ++i)
		add_window(&server, &windows[i]);

	const char *socket = wl_display_add_socket_auto(server.display);
	if (!socket)
		fail("cannot open a socket (is XDG_RUNTIME_DIR set?)");
	struct wl_event_loop *loop = wl_display_get_event_loop(server.display);
	struct wl_event_source *term = wl_event_loop_add_signal(loop, SIGTERM, handle_signal, server.display);
	struct wl_event_source *interrupt = wl_event_loop_add_signal(loop, SIGINT, handle_signal, server.display);
	struct wl_event_source *plug = wl_event_loop_add_signal(loop, SIGUSR1, handle_plug, &server);
	struct wl_event_source *unplug = wl_event_loop_add_signal(loop, SIGUSR2, handle_plug, &server);
	printf("ready %s\n", socket);
	fflush(stdout);

	wl_display_run(server.display);

	wl_event_source_remove(term);
	wl_event_source_remove(interrupt);
	wl_event_source_remove(plug);
	wl_event_source_remove(unplug);
	wl_display_destroy_clients(server.display);
	wlr_backend_destroy(server.backend);
	wlr_allocator_destroy(server.allocator);
	wlr_renderer_destroy(server.renderer);
	wl_display_destroy(server.display);
	wlr_output_layout_destroy(server.layout);
	return 0;
}

// SPDX-License-Identifier: GPL-2.0-or-later
/* A test helper, loaded with LD_PRELOAD into xdg-desktop-portal-wlr 0.7.0 on the headless test
 * session. That portal only starts a screen cast once the compositor has announced a DMA-BUF
 * format for a screencopy frame, and a compositor rendering without a GPU never announces one,
 * so every Start would fail. After each shared-memory "buffer" event of a
 * zwlr_screencopy_frame_v1 this helper also calls the portal's own "linux_dmabuf" handler with
 * the same format as a DRM fourcc. The compositor offers no DMA-BUF modifiers, so PipeWire still
 * negotiates shared-memory buffers: the pictures take the same path as on a real desktop. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdint.h>
#include <string.h>
#include <wayland-client-core.h>

struct wl_proxy;
typedef void (*any_handler)(void);

/* The events of zwlr_screencopy_frame_v1 version 3, in protocol order. */
enum { EV_BUFFER, EV_FLAGS, EV_READY, EV_FAILED, EV_DAMAGE, EV_LINUX_DMABUF, EV_BUFFER_DONE, EV_COUNT };

typedef void (*buffer_handler)(void* data, struct wl_proxy* frame, uint32_t format, uint32_t width,
                               uint32_t height, uint32_t stride);
typedef void (*dmabuf_handler)(void* data, struct wl_proxy* frame, uint32_t format, uint32_t width,
                               uint32_t height);

/* The portal registers one static listener for all its frames; the wrapped copy stands in for it. */
static const any_handler* original;
static any_handler wrapped[EV_COUNT];

static uint32_t drm_fourcc(uint32_t shm_format)
{
    /* wl_shm keeps 0 and 1 for ARGB8888 and XRGB8888; every other code is the DRM fourcc. */
    if (shm_format == 0)
        return 0x34325241; /* 'AR24' */
    if (shm_format == 1)
        return 0x34325258; /* 'XR24' */
    return shm_format;
}

static void on_buffer(void* data, struct wl_proxy* frame, uint32_t format, uint32_t width, uint32_t height,
                      uint32_t stride)
{
    ((buffer_handler)original[EV_BUFFER])(data, frame, format, width, height, stride);
    if (original[EV_LINUX_DMABUF])
        ((dmabuf_handler)original[EV_LINUX_DMABUF])(data, frame, drm_fourcc(format), width, height);
}

int wl_proxy_add_listener(struct wl_proxy* proxy, void (**implementation)(void), void* data)
{
    static int (*next)(struct wl_proxy*, void (**)(void), void*);
    if (!next)
        next = (int (*)(struct wl_proxy*, void (**)(void), void*))dlsym(RTLD_NEXT, "wl_proxy_add_listener");
    if (strcmp(wl_proxy_get_class(proxy), "zwlr_screencopy_frame_v1") != 0 || !implementation[EV_BUFFER])
        return next(proxy, implementation, data);
    if (original != (const any_handler*)implementation) {
        original = (const any_handler*)implementation;
        memcpy(wrapped, implementation, sizeof wrapped);
        wrapped[EV_BUFFER] = (any_handler)on_buffer;
    }
    return next(proxy, wrapped, data);
}

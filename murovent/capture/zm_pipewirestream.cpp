// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_pipewirestream.h"

#include "zm_blockcopy.h"
#include "zm_capturelog.h"

#include <libyuv/convert_argb.h>
#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>

#include <unistd.h>

#include <atomic>
#include <mutex>
#include <utility>

namespace {

struct FormatEntry {
    spa_video_format format;
    const char* name;
    bool rgbOrder; // R, G, B bytes: converted to the B, G, R order pictures use
};

const FormatEntry kFormats[] = {
    {SPA_VIDEO_FORMAT_BGRx, "BGRx", false},
    {SPA_VIDEO_FORMAT_BGRA, "BGRA", false},
    {SPA_VIDEO_FORMAT_RGBx, "RGBx", true},
    {SPA_VIDEO_FORMAT_RGBA, "RGBA", true},
};

const FormatEntry* findFormat(uint32_t format)
{
    for (const FormatEntry& entry : kFormats)
        if (entry.format == format)
            return &entry;
    return nullptr;
}

// Up to this many changed areas a picture; a compositor merges more into fewer.
constexpr int kDamageAreas = 16;
// Beyond this many changed blocks' runs in a picture, the area around them all is taken on.
constexpr size_t kMostParts = 32;
// After a picture that differed from the one before in most of its area (a moving or scrolling
// picture), this many pictures are copied where the compositor says they changed, without
// comparing: while everything moves, comparing costs more than it saves.
constexpr int kUncomparedAfterMotion = 7;

// What changed in a picture since the one before it, in stream pixels; whole when that is not
// known (the compositor did not say, or a picture in between was lost).
struct Damage {
    bool whole = true;
    std::vector<QRect> rects;

    // The changes of a picture that follows this one, for when this one is never taken.
    void add(const Damage& later)
    {
        whole = whole || later.whole;
        if (!whole)
            rects.insert(rects.end(), later.rects.begin(), later.rects.end());
    }
};

Damage damageOf(spa_buffer* spa)
{
    Damage damage;
    spa_meta* meta = spa_buffer_find_meta(spa, SPA_META_VideoDamage);
    if (!meta)
        return damage;
    spa_meta_region* region;
    spa_meta_for_each(region, meta) {
        if (!spa_meta_region_is_valid(region))
            break;
        damage.rects.emplace_back(region->region.position.x, region->region.position.y,
                                  int(region->region.size.width), int(region->region.size.height));
    }
    damage.whole = damage.rects.empty();
    return damage;
}

// Pixels of the stream's picture, in the B, G, R order, from `from` to `to`.
void copyPixels(const uint8_t* from, int fromStride, bool rgbOrder, uint8_t* to, int toStride, const QSize& size)
{
    if (rgbOrder)
        libyuv::ABGRToARGB(from, fromStride, to, toStride, size.width(), size.height());
    else
        libyuv::ARGBCopy(from, fromStride, to, toStride, size.width(), size.height());
}

qint64 areaOf(const std::vector<QRect>& rects)
{
    qint64 area = 0;
    for (const QRect& rect : rects)
        area += qint64(rect.width()) * rect.height();
    return area;
}

} // namespace

// Everything below is touched with the thread loop locked: by PipeWire's thread in the
// callbacks, and by the other threads between pw_thread_loop_lock and unlock.
struct ZMPipeWireStream::Impl {
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_stream* stream = nullptr;
    pw_registry* registry = nullptr;
    spa_hook coreListener{};
    spa_hook streamListener{};
    spa_hook registryListener{};
    uint32_t node = 0;

    QSize size;
    const FormatEntry* format = nullptr;
    bool streaming = false;
    // Pictures not yet taken, oldest first; PipeWire gets each back when taken or replaced.
    pw_buffer* held = nullptr;
    pw_buffer* next = nullptr;
    Damage heldDamage;
    Damage nextDamage;
    // A picture went back untaken with its changes: the next one counts as wholly new.
    bool lostChanges = false;
    int uncomparedLeft = 0;
    std::atomic<bool> ended{false};
    QString endReason;
    // For the log: pictures received, those replaced by a newer one before being taken, and
    // those that came with their changed areas.
    int received = 0;
    int replaced = 0;
    int withDamage = 0;

    void end(const QString& reason)
    {
        if (ended.exchange(true))
            return;
        endReason = reason;
        pw_thread_loop_signal(loop, false);
    }
    void giveBack(pw_buffer* buffer) { pw_stream_queue_buffer(stream, buffer); }

    // A part of an RGB-ordered picture in the B, G, R order, to compare with the target.
    std::vector<uint8_t> inOrder;

    Take copy(const uint8_t* picture, int stride, const QRect& area, unsigned char* target,
              std::vector<QRect>* changed);
    static bool usable(const pw_buffer* buffer);
    static void onStateChanged(void* data, pw_stream_state, pw_stream_state state, const char* error);
    static void onParamChanged(void* data, uint32_t id, const spa_pod* param);
    static void onProcess(void* data);
    static void onRemoveBuffer(void* data, pw_buffer* buffer);
    static void onCoreError(void* data, uint32_t id, int seq, int res, const char* message);
    static void onGlobalRemoved(void* data, uint32_t id);
};

void ZMPipeWireStream::Impl::onStateChanged(void* data, pw_stream_state, pw_stream_state state, const char* error)
{
    Impl* self = static_cast<Impl*>(data);
    qCInfo(lcCapture) << "PipeWire stream" << pw_stream_state_as_string(state) << (error ? error : "");
    if (state == PW_STREAM_STATE_ERROR)
        self->end(QStringLiteral("the PipeWire stream failed: %1").arg(QString::fromUtf8(error ? error : "")));
    else if (state == PW_STREAM_STATE_UNCONNECTED && self->streaming)
        self->end(QStringLiteral("the screen cast stream ended (the compositor or PipeWire stopped it)"));
    else if (state == PW_STREAM_STATE_STREAMING)
        self->streaming = true;
}

// A format was agreed: take its size and byte order, and ask for buffers we can map: enough
// that the compositor still has one to draw into while we keep two.
void ZMPipeWireStream::Impl::onParamChanged(void* data, uint32_t id, const spa_pod* param)
{
    Impl* self = static_cast<Impl*>(data);
    if (!param || id != SPA_PARAM_Format)
        return;
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(param, &info) < 0 || !findFormat(info.format)) {
        self->end(QStringLiteral("PipeWire agreed on a picture format this program cannot read"));
        return;
    }
    self->size = QSize(int(info.size.width), int(info.size.height));
    self->format = findFormat(info.format);
    uint8_t bytes[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(bytes, sizeof bytes);
    const spa_pod* params[3];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
        SPA_POD_CHOICE_RANGE_Int(4, 3, 16), SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
    params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header),
        SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_header))));
    params[2] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_VideoDamage),
        SPA_PARAM_META_size,
        SPA_POD_CHOICE_RANGE_Int(sizeof(spa_meta_region) * kDamageAreas, sizeof(spa_meta_region),
                                 sizeof(spa_meta_region) * kDamageAreas)));
    pw_stream_update_params(self->stream, params, 3);
    qCInfo(lcCapture) << "PipeWire stream" << self->size << self->format->name;
    pw_thread_loop_signal(self->loop, false);
}

bool ZMPipeWireStream::Impl::usable(const pw_buffer* buffer)
{
    const spa_buffer* spa = buffer->buffer;
    if (spa->n_datas < 1 || !spa->datas[0].data || !spa->datas[0].chunk || spa->datas[0].chunk->size == 0)
        return false;
    const auto* header = static_cast<const spa_meta_header*>(
        spa_buffer_find_meta_data(spa, SPA_META_Header, sizeof(spa_meta_header)));
    return !(header && (header->flags & SPA_META_HEADER_FLAG_CORRUPTED));
}

// The held picture into the target: all of the area, or only what changed in it since the
// picture taken before. The parts the compositor names are compared with that picture block by
// block, since a client that redraws its whole window for a small change has the compositor
// name the whole window; for a few pictures after one that changed nearly all over, they are
// copied as named.
ZMPipeWireStream::Take ZMPipeWireStream::Impl::copy(const uint8_t* picture, int stride, const QRect& area,
                                                    unsigned char* target, std::vector<QRect>* changed)
{
    const bool rgbOrder = format->rgbOrder;
    const int targetStride = area.width() * 4;
    // A pixel of the area (in area pixels) in the stream's picture.
    const auto source = [&](const QPoint& at) {
        return picture + size_t(area.y() + at.y()) * stride + size_t(area.x() + at.x()) * 4;
    };
    if (!changed) {
        copyPixels(source(QPoint(0, 0)), stride, rgbOrder, target, targetStride, area.size());
        return Take::Picture;
    }
    changed->clear();
    const bool compare = uncomparedLeft == 0;
    uncomparedLeft = std::max(uncomparedLeft - 1, 0);
    const auto take = [&](const QRect& rect) {
        const QRect part = rect.intersected(area).translated(-area.topLeft());
        if (part.isEmpty())
            return;
        const uint8_t* from = source(part.topLeft());
        uint8_t* to = target + size_t(part.y()) * targetStride + size_t(part.x()) * 4;
        if (!compare) {
            copyPixels(from, stride, rgbOrder, to, targetStride, part.size());
            changed->push_back(part);
            return;
        }
        int fromStride = stride;
        if (rgbOrder) {
            fromStride = part.width() * 4;
            inOrder.resize(size_t(fromStride) * part.height());
            copyPixels(from, stride, rgbOrder, inOrder.data(), fromStride, part.size());
            from = inOrder.data();
        }
        ZMBlockCopy::update(from, fromStride, to, targetStride, part, changed);
    };
    if (heldDamage.whole)
        take(area);
    else
        for (const QRect& rect : heldDamage.rects)
            take(rect);
    if (compare && 2 * areaOf(*changed) > qint64(area.width()) * area.height())
        uncomparedLeft = kUncomparedAfterMotion;
    ZMBlockCopy::bound(changed, kMostParts);
    return changed->empty() ? Take::NothingNew : Take::Picture;
}

// The compositor's pictures and our frame slots tick at about the same rate on two clocks, so
// now and then two pictures fall into one slot and none into the next. Keeping the older one
// for the first slot and the newer for the next shows both; only a third picture in one slot
// pushes the oldest out. A picture is thus at most one slot late.
void ZMPipeWireStream::Impl::onProcess(void* data)
{
    Impl* self = static_cast<Impl*>(data);
    bool arrived = false;
    while (pw_buffer* buffer = pw_stream_dequeue_buffer(self->stream)) {
        if (!usable(buffer)) {
            self->giveBack(buffer);
            self->lostChanges = true;
            continue;
        }
        ++self->received;
        arrived = true;
        Damage damage = std::exchange(self->lostChanges, false) ? Damage() : damageOf(buffer->buffer);
        self->withDamage += !damage.whole;
        if (self->next) {
            self->giveBack(self->held), ++self->replaced;
            self->held = self->next;
            self->heldDamage.add(self->nextDamage);
        }
        if (self->held)
            self->next = buffer, self->nextDamage = std::move(damage);
        else
            self->held = buffer, self->heldDamage = std::move(damage);
    }
    if (arrived)
        pw_thread_loop_signal(self->loop, false);
}

void ZMPipeWireStream::Impl::onRemoveBuffer(void* data, pw_buffer* buffer)
{
    Impl* self = static_cast<Impl*>(data);
    if (self->next == buffer) {
        self->next = nullptr;
        self->lostChanges = true;
    }
    if (self->held == buffer) {
        self->held = std::exchange(self->next, nullptr);
        self->heldDamage = Damage();
    }
}

void ZMPipeWireStream::Impl::onCoreError(void* data, uint32_t id, int, int res, const char* message)
{
    Impl* self = static_cast<Impl*>(data);
    if (id == PW_ID_CORE)
        self->end(QStringLiteral("the connection to PipeWire broke: %1 (%2)")
                      .arg(QString::fromUtf8(message ? message : ""), QString::fromLocal8Bit(strerror(-res))));
}

// When the compositor dies, the stream only pauses: the node's removal is the sign.
void ZMPipeWireStream::Impl::onGlobalRemoved(void* data, uint32_t id)
{
    Impl* self = static_cast<Impl*>(data);
    if (id == self->node)
        self->end(QStringLiteral("the screen cast ended: its source went away (the compositor or the portal stopped)"));
}

namespace {

const pw_stream_events kStreamEvents = [] {
    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.state_changed = &ZMPipeWireStream::Impl::onStateChanged;
    events.param_changed = &ZMPipeWireStream::Impl::onParamChanged;
    events.process = &ZMPipeWireStream::Impl::onProcess;
    events.remove_buffer = &ZMPipeWireStream::Impl::onRemoveBuffer;
    return events;
}();

const pw_core_events kCoreEvents = [] {
    pw_core_events events{};
    events.version = PW_VERSION_CORE_EVENTS;
    events.error = &ZMPipeWireStream::Impl::onCoreError;
    return events;
}();

const pw_registry_events kRegistryEvents = [] {
    pw_registry_events events{};
    events.version = PW_VERSION_REGISTRY_EVENTS;
    events.global_remove = &ZMPipeWireStream::Impl::onGlobalRemoved;
    return events;
}();

} // namespace

ZMPipeWireStream::ZMPipeWireStream()
    : d(std::make_unique<Impl>())
{
}

ZMPipeWireStream::~ZMPipeWireStream()
{
    close();
}

bool ZMPipeWireStream::open(int fd, quint32 node, int timeoutMs, QString* error)
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { pw_init(nullptr, nullptr); });
    d->loop = pw_thread_loop_new("murovent-screen", nullptr);
    d->context = d->loop ? pw_context_new(pw_thread_loop_get_loop(d->loop), nullptr, 0) : nullptr;
    if (!d->context || pw_thread_loop_start(d->loop) < 0) {
        ::close(fd);
        *error = QStringLiteral("cannot start PipeWire's thread: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        close();
        return false;
    }
    pw_thread_loop_lock(d->loop);
    d->core = pw_context_connect_fd(d->context, fd, nullptr, 0);
    if (!d->core) {
        pw_thread_loop_unlock(d->loop);
        *error = QStringLiteral("cannot connect to PipeWire: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        close();
        return false;
    }
    pw_core_add_listener(d->core, &d->coreListener, &kCoreEvents, d.get());
    d->node = node;
    d->registry = pw_core_get_registry(d->core, PW_VERSION_REGISTRY, 0);
    if (d->registry)
        pw_registry_add_listener(d->registry, &d->registryListener, &kRegistryEvents, d.get());
    d->stream = pw_stream_new(d->core, "murovent-screen",
                              pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                                PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    pw_stream_add_listener(d->stream, &d->streamListener, &kStreamEvents, d.get());

    uint8_t bytes[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(bytes, sizeof bytes);
    const spa_rectangle defaultSize = SPA_RECTANGLE(1920, 1080), minSize = SPA_RECTANGLE(1, 1),
                        maxSize = SPA_RECTANGLE(16384, 16384);
    const spa_fraction variable = SPA_FRACTION(0, 1), maxRate = SPA_FRACTION(60, 1), minMax = SPA_FRACTION(1, 1),
                       maxMax = SPA_FRACTION(1000, 1);
    const spa_pod* params[1] = {static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                               SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&defaultSize, &minSize, &maxSize),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&variable), SPA_FORMAT_VIDEO_maxFramerate,
        SPA_POD_CHOICE_RANGE_Fraction(&maxRate, &minMax, &maxMax)))};
    const int connected = pw_stream_connect(
        d->stream, PW_DIRECTION_INPUT, node,
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), params, 1);
    if (connected < 0)
        d->end(QStringLiteral("cannot connect to the screen cast's PipeWire node %1: %2")
                   .arg(node).arg(QString::fromLocal8Bit(strerror(-connected))));

    // The first picture comes right after the format unless the compositor is stuck.
    timespec deadline{};
    pw_thread_loop_get_time(d->loop, &deadline, int64_t(timeoutMs) * SPA_NSEC_PER_MSEC);
    while (!d->ended && !(d->format && d->held))
        if (pw_thread_loop_timed_wait_full(d->loop, &deadline) == -ETIMEDOUT)
            break;
    const bool ok = !d->ended && d->format;
    if (!ok)
        *error = d->ended ? d->endReason
                          : QStringLiteral("PipeWire agreed on no picture format within %1 s").arg(timeoutMs / 1000.0);
    else if (!d->held)
        qCInfo(lcCapture) << "no picture yet from the screen cast: the screen is still";
    pw_thread_loop_unlock(d->loop);
    if (!ok)
        close();
    return ok;
}

void ZMPipeWireStream::close()
{
    if (!d->loop)
        return;
    pw_thread_loop_lock(d->loop);
    if (d->stream) {
        qCInfo(lcCapture) << "PipeWire stream closed:" << d->received << "pictures received," << d->replaced
                          << "replaced by a newer one before being taken," << d->withDamage
                          << "with their changed areas";
        for (pw_buffer* waiting : {d->held, d->next})
            if (waiting && !d->ended)
                d->giveBack(waiting);
        d->held = d->next = nullptr;
        pw_stream_destroy(d->stream);
        d->stream = nullptr;
    }
    if (d->registry) {
        pw_proxy_destroy(reinterpret_cast<pw_proxy*>(d->registry));
        d->registry = nullptr;
    }
    if (d->core) {
        pw_core_disconnect(d->core);
        d->core = nullptr;
    }
    pw_thread_loop_unlock(d->loop);
    pw_thread_loop_stop(d->loop);
    if (d->context)
        pw_context_destroy(d->context);
    pw_thread_loop_destroy(d->loop);
    d->context = nullptr;
    d->loop = nullptr;
}

QSize ZMPipeWireStream::size() const
{
    if (!d->loop)
        return QSize();
    pw_thread_loop_lock(d->loop);
    const QSize size = d->size;
    pw_thread_loop_unlock(d->loop);
    return size;
}

const char* ZMPipeWireStream::formatName() const
{
    return d->format ? d->format->name : "none";
}

QString ZMPipeWireStream::endReason() const
{
    if (!d->loop)
        return QStringLiteral("the screen cast was closed");
    pw_thread_loop_lock(d->loop);
    const QString reason = d->endReason;
    pw_thread_loop_unlock(d->loop);
    return reason;
}

ZMPipeWireStream::Take ZMPipeWireStream::takePicture(const QRect& area, unsigned char* target,
                                                     std::vector<QRect>* changed)
{
    if (!d->loop)
        return Take::Ended;
    pw_thread_loop_lock(d->loop);
    Take result = Take::NothingNew;
    if (d->ended) {
        result = Take::Ended;
    } else if (d->held) {
        const spa_data& plane = d->held->buffer->datas[0];
        const int stride = plane.chunk->stride > 0 ? plane.chunk->stride : d->size.width() * 4;
        const size_t offset = plane.chunk->offset % plane.maxsize;
        const size_t needed = offset + size_t(stride) * (area.y() + area.height() - 1) + size_t(area.x() + area.width()) * 4;
        if (!QRect(QPoint(0, 0), d->size).contains(area)) {
            d->end(QStringLiteral("the shared monitor changed to %1 x %2, which no longer holds the recorded area")
                       .arg(d->size.width()).arg(d->size.height()));
            result = Take::Ended;
        } else if (needed <= plane.maxsize) {
            result = d->copy(static_cast<const uint8_t*>(plane.data) + offset, stride, area, target, changed);
        } else {
            // This picture never reached the target.
            d->nextDamage = Damage();
            d->lostChanges = true;
        }
        if (!d->ended)
            d->giveBack(d->held);
        d->held = std::exchange(d->next, nullptr);
        d->heldDamage = std::exchange(d->nextDamage, Damage());
    }
    pw_thread_loop_unlock(d->loop);
    return result;
}

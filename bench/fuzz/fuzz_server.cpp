// Feeds arbitrary bytes to the server link's two readers of outside data: as the cache file
// (unscrambled and parsed by the store) and as a reply (parsed as the requests parse it).
// Whatever is accepted must survive the store's own round trip: what is stored is written to a
// cache that the next start reads back to the same records. A reply that parses but makes an
// unreadable cache is the fault that used to stop every later start.
#include "serverinfostore.h"
#include "untrustedjson.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdlib>

namespace {

bool sameRecords(const ServerInfoStore& a, const ServerInfoStore& b)
{
    const auto va = a.verInfo(), vb = b.verInfo();
    const auto ia = a.adInfo(), ib = b.adInfo();
    const auto ga = a.adImage(), gb = b.adImage();
    return va.valid == vb.valid && va.productName == vb.productName && va.version == vb.version
        && va.canUseMinVersion == vb.canUseMinVersion && va.createTime == vb.createTime
        && va.updateNote == vb.updateNote && va.productDesc == vb.productDesc
        && va.downloadPath == vb.downloadPath && ia.valid == ib.valid && ia.id == ib.id
        && ia.adImgPath == ib.adImgPath && ia.productName == ib.productName && ga.valid == gb.valid
        && ga.localpath == gb.localpath && ga.adImageMD5 == gb.adImageMD5;
}

// The next start reads what this one leaves behind.
void checkCacheRoundTrip(const ServerInfoStore& store)
{
    ServerInfoStore next{QString()};
    if (!next.loadBytes(store.fileBytes()) || !sameRecords(store, next))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    if (ServerInfoStore::unscrambled(ServerInfoStore::scrambled(bytes)) != bytes)
        std::abort();

    ServerInfoStore cached{QString()};
    if (cached.loadBytes(bytes)) {
        // Files named by the cache are looked at (regular files only); a device must not hang it.
        cached.isAdImageStale();
        checkCacheRoundTrip(cached);
    }

    // As a reply: up to its first NUL byte, as text.
    const QByteArray text = QString::fromUtf8(bytes.left(bytes.indexOf('\0') < 0 ? bytes.size() : bytes.indexOf('\0'))).toUtf8();
    Json::Value reply;
    if (UntrustedJson::parse(text.constData(), text.constData() + text.size(), UntrustedJson::kReplyDepth, reply)) {
        ServerInfoStore store{QString()};
        store.setVersionInfo(reply);
        store.setAdInfo(reply);
        store.setAdImage(reply);
        checkCacheRoundTrip(store);
    }
    return 0;
}

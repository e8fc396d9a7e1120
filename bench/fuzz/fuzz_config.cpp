// Feeds arbitrary text to the markup parser and the theme store's reader, then checks that
// every theme read survives being written into a new document and read back unchanged.
#include "markupdocument.h"
#include "zm_configmgr.h"
#include "zm_configuser.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

bool sameTheme(const ZMConfigUser& a, const ZMConfigUser& b)
{
    return a.theme == b.theme && a.savePath == b.savePath && a.model == b.model
        && a.audioRate == b.audioRate && a.videoFrame == b.videoFrame && a.isAutoJump == b.isAutoJump
        && a.isSysAudio == b.isSysAudio && a.isGrabMouse == b.isGrabMouse
        && a.isTimerEnable == b.isTimerEnable && a.timerStopSec == b.timerStopSec
        && a.timerDelaySec == b.timerDelaySec;
}

void checkRoundTrip(const ZMConfigMgr& store)
{
    for (int i = 0; i < store.userCount(); ++i) {
        const ZMConfigUser& user = *store.userAt(i);
        MarkupDocument out;
        if (!out.appendElement("Murovent") || !out.enterElement() || !user.writeNode(out))
            std::abort();
        out.leaveElement();
        out.leaveElement();
        MarkupDocument in;
        if (!in.setDocument(out.document()) || !in.seekElement("Murovent") || !in.enterElement())
            std::abort();
        ZMConfigUser back;
        if (!back.readNode(in) || !sameTheme(user, back))
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FILE* sink = std::fopen("/dev/null", "w");
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    MarkupDocument doc;
    doc.setDocument(text);
    doc.resultText();

    ZMConfigMgr store;
    store.readDocument(doc);
    store.dumpUsers(sink);
    checkRoundTrip(store);
    return 0;
}

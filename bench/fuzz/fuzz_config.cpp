// SPDX-License-Identifier: GPL-2.0-or-later
// Feeds arbitrary text to the markup parser (as text and as a file, through the encoding
// detection and conversion) and the theme store's reader, then checks that
// every theme read survives being written into a new document and read back unchanged, and
// that a document edited in place reads the same as its text parsed afresh.
#include "markupdocument.h"
#include "zm_configmgr.h"
#include "zm_configuser.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>

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

bool sameStore(const ZMConfigMgr& a, const ZMConfigMgr& b)
{
    if (a.LastUseIdx != b.LastUseIdx || a.userCount() != b.userCount())
        return false;
    for (int i = 0; i < a.userCount(); ++i)
        if (!sameTheme(*a.userAt(i), *b.userAt(i)))
            return false;
    return true;
}

// Edits every theme of a well-formed document in place: the element index must follow the text.
void checkEdits(MarkupDocument& doc)
{
    if (!doc.isWellFormed())
        return;
    doc.resetPosition();
    if (!doc.seekElement("Zolmet") || !doc.enterElement() || !doc.seekElement("Murovent") || !doc.enterElement())
        return;
    if (doc.seekElement("LastUseIdx"))
        doc.setElementText("7<&>");
    while (doc.seekElement("Node")) {
        doc.enterElement();
        if (doc.seekElement("savePath"))
            doc.setElementText("a&b<c>");
        doc.appendElement("model");
        doc.setElementText("3");
        doc.leaveElement();
    }
    doc.appendElement("Node");
    doc.enterElement();
    doc.appendElement("theme");
    doc.setElementText("new]]>&amp;");
    doc.resetPosition();

    MarkupDocument fresh;
    const bool wellFormed = fresh.setDocument(doc.document());
    if (wellFormed != doc.isWellFormed())
        std::abort();
    ZMConfigMgr edited, parsed;
    edited.readDocument(doc);
    parsed.readDocument(fresh);
    if (!sameStore(edited, parsed))
        std::abort();
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
    checkEdits(doc);

    // The same bytes as a file, in memory so that the run does not wear the disk.
    static const int fd = memfd_create("fuzz_config", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size))
        std::abort();
    MarkupDocument fileDoc;
    fileDoc.loadFile(path);
    fileDoc.resultText();
    ZMConfigMgr fileStore;
    fileStore.readDocument(fileDoc);
    checkRoundTrip(fileStore);
    return 0;
}

// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_configuser.h"

#include "markupdocument.h"

#include <QDir>
#include <climits>
#include <cstdlib>

namespace {

void readText(MarkupDocument& doc, const char* name, std::string& field)
{
    if (doc.seekElement(name))
        field = doc.elementText();
}

void readInt(MarkupDocument& doc, const char* name, int& field)
{
    if (doc.seekElement(name))
        field = ZMConfigUser::toInt(doc.elementText());
}

void readBool(MarkupDocument& doc, const char* name, bool& field)
{
    if (doc.seekElement(name))
        field = ZMConfigUser::toInt(doc.elementText()) != 0;
}

bool writeText(MarkupDocument& doc, const char* name, const std::string& value)
{
    return doc.appendElement(name) && doc.setElementText(value);
}

bool writeInt(MarkupDocument& doc, const char* name, int value)
{
    return writeText(doc, name, std::to_string(value));
}

} // namespace

ZMConfigUser::ZMConfigUser(const std::string& name)
    : theme(name)
    , savePath(QDir::homePath().toUtf8().toStdString())
{
}

ZMConfigUser::~ZMConfigUser() = default;

int ZMConfigUser::toInt(const std::string& text)
{
    long value = std::strtol(text.c_str(), nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return int(value);
}

bool ZMConfigUser::readNode(MarkupDocument& doc)
{
    if (!doc.seekElement("Node"))
        return false;
    // A Node cut short in a damaged file is passed over: its values would be guesses.
    while (!doc.isElementWhole())
        if (!doc.seekElement("Node"))
            return false;
    doc.enterElement();
    readText(doc, "theme", theme);
    readText(doc, "savePath", savePath);
    readInt(doc, "model", model);
    readInt(doc, "audioRate", audioRate);
    readInt(doc, "videoFrame", videoFrame);
    readBool(doc, "isAutoJump", isAutoJump);
    readBool(doc, "isSysAudio", isSysAudio);
    readBool(doc, "isGrabMouse", isGrabMouse);
    readBool(doc, "isTimerEnable", isTimerEnable);
    readInt(doc, "timerDelaySec", timerDelaySec);
    readInt(doc, "timerStopSec", timerStopSec);
    doc.leaveElement();
    return true;
}

bool ZMConfigUser::writeNode(MarkupDocument& doc) const
{
    if (!doc.appendElement("Node") || !doc.enterElement())
        return false;
    const bool ok = writeText(doc, "theme", theme)
        && writeText(doc, "savePath", savePath)
        && writeInt(doc, "model", model)
        && writeInt(doc, "audioRate", audioRate)
        && writeInt(doc, "videoFrame", videoFrame)
        && writeInt(doc, "isAutoJump", isAutoJump)
        && writeInt(doc, "isSysAudio", isSysAudio)
        && writeInt(doc, "isGrabMouse", isGrabMouse)
        && writeInt(doc, "isTimerEnable", isTimerEnable)
        && writeInt(doc, "timerDelaySec", timerDelaySec)
        && writeInt(doc, "timerStopSec", timerStopSec);
    return doc.leaveElement() && ok;
}

// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>

class MarkupDocument;

// One recording theme: a named set of the recorder panel's settings. Texts are UTF-8.
class ZMConfigUser
{
public:
    explicit ZMConfigUser(const std::string& name = std::string());
    ZMConfigUser(const ZMConfigUser&) = default;
    ZMConfigUser& operator=(const ZMConfigUser&) = default;
    virtual ~ZMConfigUser();

    // Reads the next whole "Node" after the document's current element (one without all its
    // end tags is skipped). Children that are missing keep the values this record already has.
    bool readNode(MarkupDocument& doc);
    // Appends this record as a "Node" after the document's current element.
    bool writeNode(MarkupDocument& doc) const;

    // The leading decimal number of a text as atoi reads it ("12abc" gives 12, "x" 0), with
    // values beyond the range of int clamped.
    static int toInt(const std::string& text);

    std::string theme;
    std::string savePath;
    int model = 0;
    int audioRate = 8000;
    int videoFrame = 10;
    bool isAutoJump = true;
    bool isSysAudio = false;
    bool isGrabMouse = false;
    bool isTimerEnable = false;
    int timerStopSec = 10;
    int timerDelaySec = 3;
};

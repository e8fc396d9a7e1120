// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

// The panel's encoding choices beyond its specified controls, kept in "./video.cfg" beside
// its themes and hot keys: the container (".mp4", the save bar's, or ".mkv"), x264's rate
// factor (-1: the encoder's own) and its speed preset. GUI thread.
struct ZMVideoOptions
{
    QString container = QStringLiteral(".mp4");
    int quality = -1;
    QString preset = QStringLiteral("ultrafast");

    // The stored choices, or the defaults for a missing file or a value not offered.
    static ZMVideoOptions load();
    bool save() const;
    static QStringList presets();
};

// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

// The panel's memory of the monitor the user shared through the desktop portal: the portal's
// restore token, kept in the panel's settings folder beside its other files, so that later
// recordings and region pictures do not ask again. GUI thread only.
class ZMPortalChoice
{
public:
    static const char* fileName();  // "./portal-token.cfg"
    // Empty when none was kept.
    static QString load();
    // Keeps a new token; an empty one or the one already kept changes nothing. A token that
    // cannot be written only means the portal asks again next time.
    static void store(const QString& token);
};

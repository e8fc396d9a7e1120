// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "zm_areatracker.h"

#include <chrono>

// Keeps the area on one monitor and notices when that monitor goes away or changes its place
// or size (unplugged, switched off, rearranged): the recording then ends, as it does when the
// screen shrinks below the area.
class ZMMonitorWatch : public ZMAreaTracker
{
public:
    ZMMonitorWatch(const QString& name, const QRect& geometry);

    bool place(_XDisplay* display, QPoint* origin, QString* lost) override;

private:
    bool stillThere(_XDisplay* display) const;

    QString m_name;
    QRect m_geometry;
    std::chrono::steady_clock::time_point m_nextLook;
};

// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_monitorwatch.h"

#include "zm_monitors.h"

namespace {

// Asking the server for its monitors costs a round trip; a few times a second is soon enough.
constexpr std::chrono::milliseconds kLookEvery(400);

} // namespace

ZMMonitorWatch::ZMMonitorWatch(const QString& name, const QRect& geometry)
    : m_name(name), m_geometry(geometry), m_nextLook(std::chrono::steady_clock::now() + kLookEvery)
{
}

bool ZMMonitorWatch::place(_XDisplay* display, QPoint* origin, QString* lost)
{
    const auto now = std::chrono::steady_clock::now();
    if (now >= m_nextLook) {
        m_nextLook = now + kLookEvery;
        if (!stillThere(display)) {
            *lost = QStringLiteral("the monitor %1 went away or changed its size").arg(m_name);
            return false;
        }
    }
    *origin = m_geometry.topLeft();
    return true;
}

bool ZMMonitorWatch::stillThere(_XDisplay* display) const
{
    const std::vector<ZMMonitors::Monitor> monitors = ZMMonitors::list(display);
    const int found = ZMMonitors::find(monitors, m_name);
    return found >= 0 && monitors[found].name == m_name && monitors[found].geometry == m_geometry;
}

#include "zm_damagetracker.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <X11/extensions/Xfixes.h>

ZMDamageTracker::ZMDamageTracker(Display* display, unsigned long root)
    : m_display(display)
{
    int errorBase = 0, major = 0, minor = 0;
    if (!XDamageQueryExtension(display, &m_eventBase, &errorBase)
        || !XFixesQueryExtension(display, &major, &errorBase))
        return;
    XFixesQueryVersion(display, &major, &minor);
    if (major < 2) // regions came with XFixes 2
        return;
    m_region = XFixesCreateRegion(display, nullptr, 0);
    // "Non-empty" reports: one event each time the collected area stops being empty, instead of
    // one per drawing request.
    m_damage = XDamageCreate(display, root, XDamageReportNonEmpty);
}

ZMDamageTracker::~ZMDamageTracker()
{
    if (m_damage)
        XDamageDestroy(m_display, m_damage);
    if (m_region)
        XFixesDestroyRegion(m_display, m_region);
}

void ZMDamageTracker::release()
{
    m_damage = 0;
    m_region = 0;
}

std::vector<QRect> ZMDamageTracker::take(const QRect& area)
{
    std::vector<QRect> changed;
    if (!m_damage)
        return changed;
    // The area is moved into the region and cleared in one request; what is drawn after it
    // is collected for the next call.
    XDamageSubtract(m_display, m_damage, None, m_region);
    int count = 0;
    XRectangle* rects = XFixesFetchRegion(m_display, m_region, &count);
    for (int i = 0; i < count; ++i) {
        const QRect part = QRect(rects[i].x, rects[i].y, rects[i].width, rects[i].height) & area;
        if (!part.isEmpty())
            changed.push_back(part.translated(-area.topLeft()));
    }
    if (rects)
        XFree(rects);
    // The reports themselves are not needed: the region says it all. Left queued they would
    // pile up in Xlib for as long as the recording runs.
    XEvent event;
    while (XCheckTypedEvent(m_display, m_eventBase + XDamageNotify, &event)) {
    }
    return changed;
}

// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_screenbackend.h"

#include "grab_x11.h"
#include "zm_capturelog.h"
#include "zm_portalscreen.h"

#include <QtGlobal>

namespace {

// The table of back-ends: each entry opens one kind of screen source for a request.
struct Backend {
    const char* name;
    std::unique_ptr<ZMScreenBackend> (*open)(const ZMScreenRequest& request, QString* error);
};

const Backend kBackends[] = {
    {"x11", &Grab_X11::open},
    {"portal", &ZMPortalScreen::open},
};

bool waylandSession()
{
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
           || qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
}

} // namespace

QStringList ZMScreenBackend::names()
{
    QStringList list;
    for (const Backend& backend : kBackends)
        list << QLatin1String(backend.name);
    return list;
}

QString ZMScreenBackend::autoName()
{
    const QString portal = QStringLiteral("portal");
    return waylandSession() && names().contains(portal) ? portal : QStringLiteral("x11");
}

std::unique_ptr<ZMScreenBackend> ZMScreenBackend::create(const QString& name, const ZMScreenRequest& request,
                                                         QString* error)
{
    const QString chosen = name == QLatin1String("auto") ? autoName() : name;
    for (const Backend& backend : kBackends) {
        if (chosen != QLatin1String(backend.name))
            continue;
        std::unique_ptr<ZMScreenBackend> source = backend.open(request, error);
        if (source)
            qCInfo(lcCapture) << "screen back-end" << source->name() << "size" << source->size()
                              << "format BGRX, cursor" << request.cursor;
        else
            qCInfo(lcCapture) << "screen back-end" << chosen << "refused:" << *error;
        return source;
    }
    *error = QStringLiteral("unknown screen back-end '%1' (known: %2)").arg(name, names().join(QLatin1String(", ")));
    return nullptr;
}

// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_portalchoice.h"

#include <QFile>
#include <QSaveFile>

const char* ZMPortalChoice::fileName()
{
    return "./portal-token.cfg";
}

QString ZMPortalChoice::load()
{
    QFile file(QString::fromUtf8(fileName()));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

void ZMPortalChoice::store(const QString& token)
{
    if (token.isEmpty() || token == load())
        return;
    QSaveFile file(QString::fromUtf8(fileName()));
    if (file.open(QIODevice::WriteOnly) && file.write(token.toUtf8() + '\n') > 0)
        file.commit();
}

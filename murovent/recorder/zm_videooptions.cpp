// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_videooptions.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>

namespace {
const char* const kFile = "./video.cfg";
} // namespace

QStringList ZMVideoOptions::presets()
{
    return {QStringLiteral("ultrafast"), QStringLiteral("superfast"), QStringLiteral("veryfast"),
            QStringLiteral("faster"), QStringLiteral("fast"), QStringLiteral("medium")};
}

// One "key=value" a line; unknown keys and values out of range are ignored.
ZMVideoOptions ZMVideoOptions::load()
{
    ZMVideoOptions options;
    QFile file(QString::fromUtf8(kFile));
    if (!file.open(QIODevice::ReadOnly))
        return options;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const int eq = line.indexOf('=');
        const QString key = QString::fromUtf8(line.left(eq)).trimmed();
        const QString value = QString::fromUtf8(line.mid(eq + 1)).trimmed();
        bool ok = false;
        if (key == QLatin1String("container") && (value == QLatin1String(".mp4") || value == QLatin1String(".mkv")))
            options.container = value;
        else if (key == QLatin1String("quality") && value.toInt(&ok) >= -1 && ok && value.toInt() <= 51)
            options.quality = value.toInt();
        else if (key == QLatin1String("preset") && presets().contains(value))
            options.preset = value;
    }
    return options;
}

bool ZMVideoOptions::save() const
{
    QSaveFile file(QString::fromUtf8(kFile));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QStringLiteral("container=%1\nquality=%2\npreset=%3\n").arg(container).arg(quality).arg(preset).toUtf8());
    return file.commit();
}

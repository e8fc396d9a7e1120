// SPDX-License-Identifier: GPL-2.0-or-later
#include "wlscene.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace wlscene {

bool sway(const QString& command, QString* error)
{
    QProcess swaymsg;
    swaymsg.start(QStringLiteral("swaymsg"), {command});
    const bool finished = swaymsg.waitForFinished(10000);
    if (finished && swaymsg.exitCode() == 0)
        return true;
    if (error)
        *error = QString::fromUtf8(swaymsg.readAllStandardOutput() + swaymsg.readAllStandardError());
    return false;
}

QImage screenshot()
{
    QProcess grim;
    grim.start(QStringLiteral("grim"), {QStringLiteral("-t"), QStringLiteral("ppm"), QStringLiteral("-")});
    if (!grim.waitForFinished(10000) || grim.exitCode() != 0)
        return QImage();
    return QImage::fromData(grim.readAllStandardOutput(), "PPM").convertToFormat(QImage::Format_RGB32);
}

bool paintBackground(uint32_t background, const std::vector<Rect>& rects)
{
    static int serial = 0;
    QImage picture(1280, 720, QImage::Format_RGB32);
    picture.fill(QColor(QRgb(background)));
    QPainter painter(&picture);
    for (const Rect& r : rects)
        painter.fillRect(r.x, r.y, r.width, r.height, QColor(QRgb(r.rgb)));
    painter.end();
    // A new name each time: the background program loads it after the command returns.
    const QString file = QDir::temp().filePath(QStringLiteral("wlscene-%1.png").arg(++serial));
    return picture.save(file) && sway(QStringLiteral("output HEADLESS-1 bg %1 stretch").arg(file));
}

int sessionPid(const char* name)
{
    const QByteArray runtime = "XDG_RUNTIME_DIR=" + qgetenv("XDG_RUNTIME_DIR");
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const int pid = entry.toInt(&number);
        if (!number || pid == getpid())
            continue;
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid)), environ(QStringLiteral("/proc/%1/environ").arg(pid));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name || !environ.open(QIODevice::ReadOnly))
            continue;
        if (environ.readAll().split('\0').contains(runtime))
            return pid;
    }
    return -1;
}

std::string staged(const char* builtPath)
{
    const QString stage = qEnvironmentVariable("MUROVENT_STAGE");
    if (stage.isEmpty())
        return builtPath;
    return QDir(stage).filePath(QFileInfo(QString::fromLocal8Bit(builtPath)).fileName()).toStdString();
}

// Its own configuration: the standard one would start the installed portal on demand.
EmptyBus::EmptyBus()
{
    const QString config = QDir::temp().filePath(QStringLiteral("emptybus.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write("<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>"
               "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
               "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
    file.close();
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config, QStringLiteral("--fork"),
                                                 QStringLiteral("--print-address=1"), QStringLiteral("--print-pid=1")});
    if (!daemon.waitForFinished(10000) || daemon.exitCode() != 0)
        return;
    const QStringList lines = QString::fromUtf8(daemon.readAllStandardOutput()).split(QLatin1Char('\n'));
    if (lines.size() < 2)
        return;
    m_address = lines[0].trimmed();
    m_pid = lines[1].trimmed().toInt();
}

EmptyBus::~EmptyBus()
{
    if (m_pid > 0)
        kill(m_pid, SIGTERM);
}

namespace {

qint64 nameOwnerPid(const QString& name)
{
    QProcess ask;
    ask.start(QStringLiteral("dbus-send"),
              {QStringLiteral("--session"), QStringLiteral("--print-reply"), QStringLiteral("--dest=org.freedesktop.DBus"),
               QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus.GetConnectionUnixProcessID"),
               QStringLiteral("string:") + name});
    ask.waitForFinished(5000);
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("uint32 (\\d+)")).match(QString::fromUtf8(ask.readAllStandardOutput()));
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

} // namespace

OtherPortalBackend::OtherPortalBackend(Kind kind)
{
    QStringList arguments{QStringLiteral("-r")};
    if (kind == Cancelling) {
        const QString config = QDir::temp().filePath(QStringLiteral("cancelling-portal.conf"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly)
            || file.write("[screencast]\nchooser_type=simple\nchooser_cmd=false\n") < 0)
            return;
        arguments << QStringLiteral("-c") << config;
    }
    m_portal.setStandardOutputFile(QProcess::nullDevice());
    m_portal.setStandardErrorFile(QProcess::nullDevice());
    m_portal.start(QStringLiteral("/usr/libexec/xdg-desktop-portal-wlr"), arguments);
    if (!m_portal.waitForStarted(5000))
        return;
    for (int i = 0; i < 200 && !m_serving; ++i) {
        m_serving = nameOwnerPid(QStringLiteral("org.freedesktop.impl.portal.desktop.wlr")) == m_portal.processId();
        if (!m_serving)
            QThread::msleep(25);
    }
}

OtherPortalBackend::~OtherPortalBackend()
{
    m_portal.terminate();
    m_portal.waitForFinished(5000);
}

BusWatch::BusWatch(const char* member)
    : m_member(QByteArray("member=") + member)
{
    m_monitor.start(QStringLiteral("dbus-monitor"),
                    {QStringLiteral("--session"),
                     QStringLiteral("interface='org.freedesktop.portal.ScreenCast',member='%1'").arg(member)});
    // It names itself once it listens.
    while (m_monitor.waitForReadyRead(5000) && !(m_text += m_monitor.readAll()).contains("NameLost")) {
    }
}

BusWatch::~BusWatch()
{
    m_monitor.kill();
    m_monitor.waitForFinished();
}

QString BusWatch::seen()
{
    while (!(m_text += m_monitor.readAll()).contains(m_member) && m_monitor.waitForReadyRead(2000)) {
    }
    return QString::fromUtf8(m_text);
}

bool hasOption(const QString& traffic, const QString& name, const QString& value)
{
    return traffic.contains(QRegularExpression(QStringLiteral("\"%1\"\\s+variant\\s+%2")
                                                   .arg(QRegularExpression::escape(name), QRegularExpression::escape(value))));
}

} // namespace wlscene

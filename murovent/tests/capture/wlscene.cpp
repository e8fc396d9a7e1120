#include "wlscene.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>

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

} // namespace wlscene

// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_folderopener.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace {

const char* const kFileManager = "org.freedesktop.FileManager1";

} // namespace

ZMFolderOpener::ZMFolderOpener(QObject* parent)
    : QObject(parent)
{
}

bool ZMFolderOpener::hasFileManagerService()
{
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    if (!bus)
        return false;
    const QString name = QString::fromLatin1(kFileManager);
    return bus->isServiceRegistered(name).value() || bus->activatableServiceNames().value().contains(name);
}

void ZMFolderOpener::showFile(const QString& file)
{
    const QString folder = QFileInfo(file).absolutePath();
    if (!hasFileManagerService()) {
        runXdgOpen(folder);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(kFileManager),
                                                       QStringLiteral("/org/freedesktop/FileManager1"),
                                                       QString::fromLatin1(kFileManager), QStringLiteral("ShowItems"));
    call << QStringList(QUrl::fromLocalFile(file).toString()) << QString();
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    // A file manager that refuses still leaves xdg-open to try.
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, folder] {
        if (watcher->isError())
            runXdgOpen(folder);
        watcher->deleteLater();
    });
}

void ZMFolderOpener::openFolder(const QString& folder)
{
    runXdgOpen(folder);
}

// xdg-open hands the folder to the desktop's file manager and ends with a non-zero code when
// it finds none: only then is there something to report.
void ZMFolderOpener::runXdgOpen(const QString& folder)
{
    auto* process = new QProcess(this);
    process->setStandardOutputFile(QProcess::nullDevice());
    connect(process, &QProcess::errorOccurred, this, [this, process, folder](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        emit failed(folder, tr("找不到 xdg-open (%1)").arg(process->errorString()));
        process->deleteLater();
    });
    connect(process, &QProcess::finished, this, [this, process, folder](int code, QProcess::ExitStatus status) {
        if (status != QProcess::NormalExit || code != 0) {
            const QString said = QString::fromLocal8Bit(process->readAllStandardError()).trimmed();
            emit failed(folder, said.isEmpty() ? tr("xdg-open 以代码 %1 结束").arg(code) : said.section('\n', -1));
        }
        process->deleteLater();
    });
    process->start(QStringLiteral("xdg-open"), {folder});
}

// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>
#include <QString>

// Opens a folder in the desktop's file manager: with a file selected where a file manager
// offers that on the session bus (org.freedesktop.FileManager1), else through xdg-open. The
// outcome comes later; failed() says why nothing opened. GUI thread only.
class ZMFolderOpener : public QObject
{
    Q_OBJECT
public:
    explicit ZMFolderOpener(QObject* parent = nullptr);

    // Opens the folder of `file` with that file selected.
    void showFile(const QString& file);
    // Opens the folder itself.
    void openFolder(const QString& folder);

signals:
    void failed(const QString& folder, const QString& reason);

private:
    static bool hasFileManagerService();
    void runXdgOpen(const QString& folder);
};

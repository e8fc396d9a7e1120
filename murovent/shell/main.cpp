// SPDX-License-Identifier: GPL-2.0-or-later
// The program's entry: one copy at a time, then the main window.
#include "serverinfostore.h"
#include "zm_hotkeymgr.h"
#include "zm_instancelock.h"
#include "zm_language.h"
#include "zm_processend.h"
#include "zm_product.h"
#include "zm_signalexit.h"
#include "zm_window.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(ZMProduct::kName));
    QApplication::setApplicationVersion(QString::fromUtf8(ZMProduct::kVersion));
    if (!ZMLanguage::install(&app, ZMLanguage::choose()))
        fputs("murovent: the English translation is missing from this build; the texts stay Chinese\n", stderr);

    int status = 0;
    {
        ZMInstanceLock instanceLock;
        if (!instanceLock.tryLock()) {
            QMessageBox box(QMessageBox::Information, QStringLiteral("Murovent [Zolmet]"),
                            QCoreApplication::translate("main", "  软件正在运行中...... "));
            box.addButton(QCoreApplication::translate("main", "确定"), QMessageBox::AcceptRole);
            box.exec();
            return 0;
        }

        ZMWindow window;
        // Logout, shutdown or Ctrl+C end the program as its exit button does: the themes are
        // saved and the recording is finished.
        ZMSignalExit signalExit([&window] { emit window.exitRequested(); });
        window.show();
        status = app.exec();
    }
    // The process ends without the libraries' destructors (see ZMProcessEnd), so the two
    // program-wide stores that are written at exit are written here.
    ZMHotKeyMgr::instance()->saveHotKeys();
    ServerInfoStore::instance().save();
    ZMProcessEnd::leave(status);
}

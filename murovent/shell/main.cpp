// The program's entry: one copy at a time, then the main window.
#include "zm_instancelock.h"
#include "zm_product.h"
#include "zm_signalexit.h"
#include "zm_window.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(ZMProduct::kName));
    QApplication::setApplicationVersion(QString::fromUtf8(ZMProduct::kVersion));

    ZMInstanceLock instanceLock;
    if (!instanceLock.tryLock()) {
        QMessageBox box(QMessageBox::Information, QStringLiteral("Murovent [Zolmet]"),
                        QString::fromUtf8("  软件正在运行中...... "));
        box.addButton(QString::fromUtf8("确定"), QMessageBox::AcceptRole);
        box.exec();
        return 0;
    }

    ZMWindow window;
    // Logout, shutdown or Ctrl+C end the program as its exit button does: the themes are
    // saved and the recording is finished.
    ZMSignalExit signalExit([&window] { emit window.exitRequested(); });
    window.show();
    return app.exec();
}

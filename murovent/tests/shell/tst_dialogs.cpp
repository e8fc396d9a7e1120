// SPDX-License-Identifier: GPL-2.0-or-later
// The about dialog's version notice, the help window's links and the single-instance lock.
#include "helperwidget.h"
#include "serverinfostore.h"
#include "shell_testenv.h"
#include "ui_zm_about.h"
#include "zm_about.h"
#include "zm_instancelock.h"

#include <QApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QPlainTextEdit>
#include <QtTest>

#include <json/value.h>

#include <unistd.h>

namespace {

void storeServerVersion(const char* version)
{
    Json::Value reply(Json::nullValue);
    if (version) {
        reply["version"] = version;
        reply["createTime"] = "2016-03-01";
        reply["updateNote"] = "faster encoding";
        reply["productDesc"] = "screen recorder";
    }
    ServerInfoStore::instance().setVersionInfo(reply);
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT
private slots:
    void versionOrder();
    void aboutWithoutNewerVersion_data();
    void aboutWithoutNewerVersion();
    void aboutWithNewerVersion();
    void helpLinks();
    void instanceLock();
};

void TestDialogs::versionOrder()
{
    QVERIFY(ZMAbout::isNewerVersion("3.3.0", "3.2.2"));
    QVERIFY(ZMAbout::isNewerVersion("3.2.2.1", "3.2.2"));
    QVERIFY(!ZMAbout::isNewerVersion("3.2.2", "3.2.2"));
    QVERIFY(!ZMAbout::isNewerVersion("3.2.10", "3.2.2")); // by characters, not by numbers
    QVERIFY(!ZMAbout::isNewerVersion("", "3.2.2"));
}

void TestDialogs::aboutWithoutNewerVersion_data()
{
    QTest::addColumn<QByteArray>("version");
    QTest::newRow("no record") << QByteArray();
    QTest::newRow("same") << QByteArray("3.2.2");
    QTest::newRow("ten as last component") << QByteArray("3.2.10");
}

void TestDialogs::aboutWithoutNewerVersion()
{
    QFETCH(QByteArray, version);
    storeServerVersion(version.isNull() ? nullptr : version.constData());
    ZMAbout about;
    auto* text = about.findChild<QPlainTextEdit*>("plainTextEdit");
    QVERIFY(text);
    QVERIFY(text->isHidden());
    // At least the form's size, and room for every text: the texts use the whole width
    // beside the icon, and no address is broken over two lines.
    QVERIFY(about.width() >= 499 && about.height() >= 396);
    QVERIFY(about.size().expandedTo(about.minimumSizeHint()) == about.size());
    QCOMPARE(about.minimumSize(), about.size());
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    const auto* description = about.findChild<QLabel*>("label_Text_2");
    QVERIFY2(description->width() > about.width() * 2 / 3, qPrintable(QString::number(description->width())));
    QVERIFY(!description->text().contains(">https://"));
    QCOMPARE(about.maximumSize(), about.size());
    QCOMPARE(about.windowTitle(), QString::fromUtf8("关于 Murovent"));
    QCOMPARE(about.findChild<QLabel*>("label_version")->text(), QStringLiteral("version: 3.2.2"));
}

void TestDialogs::aboutWithNewerVersion()
{
    storeServerVersion("3.3.0");
    ZMAbout about;
    auto* text = about.findChild<QPlainTextEdit*>("plainTextEdit");
    QVERIFY(!text->isHidden());
    QVERIFY(text->isReadOnly());
    QCOMPARE(text->frameStyle() & QFrame::Shape_Mask, int(QFrame::Panel));
    QVERIFY(about.width() >= 559 && about.height() >= 596);
    QCOMPARE(about.maximumSize(), about.size());
    const QString expected = QString(42, '-') + "\n" + QString(16, ' ') + QString::fromUtf8("新版本信息") + QString(15, ' ')
        + QString(42, '-') + "\n"
        + QString::fromUtf8("> 新 版 本:  3.3.0 \n> 发布时间:  2016-03-01\n> 备    注:  faster encoding\n"
                            "> 功能描述:  screen recorder\n");
    QCOMPARE(text->toPlainText(), expected);
    about.grab().save(QStringLiteral(SHOT_DIR "/murovent-about.png"));
    storeServerVersion(nullptr);
}

void TestDialogs::helpLinks()
{
    HelperWidget help;
    QCOMPARE(help.windowTitle(), QString::fromUtf8("帮助"));
    help.grab().save(QStringLiteral(SHOT_DIR "/murovent-help.png"));
    const QUrl folder = HelperWidget::linkTarget("C:\\Windows\\System32");
    QVERIFY(!folder.toString().contains('\\'));
    QVERIFY(folder.toString().endsWith("Windows/System32"));
    QCOMPARE(HelperWidget::linkTarget("https://www.murovent.example/help"),
             QUrl("https://www.murovent.example/help"));
}

void TestDialogs::instanceLock()
{
    auto first = std::make_unique<ZMInstanceLock>();
    QCOMPARE(first->path(), qEnvironmentVariable("XDG_RUNTIME_DIR") + "/zm_murovent_shr.lock");
    QVERIFY(first->tryLock());
    QVERIFY(first->tryLock());
    // Another holder (as another process would be) is refused while the first one lives.
    ZMInstanceLock second;
    QVERIFY(!second.tryLock());
    QVERIFY(QFile::exists(second.path()));
    // Its end, however it comes, frees the lock; the file left behind does not block.
    first.reset();
    QVERIFY(second.tryLock());
    ZMInstanceLock other(QStringLiteral("another_program"));
    QVERIFY(other.tryLock());

    // A runtime folder that others may enter is not taken: the lock goes to the user's own
    // folder in /tmp, which nobody else may enter either.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    QTemporaryDir shared;
    QVERIFY(QFile::setPermissions(shared.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                                     QFileDevice::ReadOther | QFileDevice::ExeOther));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(shared.path()));
    const QString fallback = QStringLiteral("/tmp/murovent-%1").arg(geteuid());
    QCOMPARE(ZMInstanceLock().path(), fallback + "/zm_murovent_shr.lock");
    qputenv("XDG_RUNTIME_DIR", runtime);
    QCOMPARE(QFileInfo(fallback).permissions() & 0x0077, QFileDevice::Permissions());
    QCOMPARE(QFileInfo(fallback).ownerId(), geteuid());
}

SHELL_TEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"

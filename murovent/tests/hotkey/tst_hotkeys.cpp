// SPDX-License-Identifier: GPL-2.0-or-later
// The global hot keys on a real X server: key presses come from xdotool, keys held by other
// programs from a second X client.
#include "hotkeysetdlg.h"
#include "otherxclient.h"
#include "portalstandin.h"
#include "zm_globalshortcut.h"
#include "zm_hotkeymgr.h"
#include "zm_portalshortcuts.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// X modifier masks.
constexpr unsigned kLock = 1 << 1;
constexpr unsigned kControl = 1 << 2;
constexpr unsigned kAlt = 1 << 3;
constexpr unsigned kNumLock = 1 << 4;  // Mod2 in the server's default map

void press(const char* keys)
{
    QCOMPARE(QProcess::execute("xdotool", {"key", keys}), 0);
}

QByteArray fileBytes()
{
    QFile f(ZMHotKeyMgr::fileName());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QByteArray& bytes)
{
    QFile f(ZMHotKeyMgr::fileName());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QString key(int index)
{
    return ZMHotKeyMgr::instance()->hotKey(index).toString(QKeySequence::PortableText);
}

// Answers the next question box with the button of that text; returns its text on the way.
void answerQuestion(const QString& button, QString* text)
{
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        *text = box->windowTitle() + "|" + box->text();
        for (QAbstractButton* b : box->buttons())
            if (b->text() == button)
                b->click();
        timer->deleteLater();
    });
    timer->start(20);
}

} // namespace

class TestHotKeys : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void destructionSavesAndReleasesTheKeys();
    void firstStartKeepsTheDefaultsQuietly();
    void keysActivateTheirSlotWhateverTheLockKeys();
    void keyHeldByAnotherClientIsRefused();
    void changingAKeyReleasesTheOldOne();
    void fileEdgeCases();
    void dialogShowsAndSavesTheKeys();
    void dialogAsksAboutAKeyInUse();
    void portalBindsTheKeysAndReportsTheirUse();

private:
    void expectActivation(const char* keys, int index);
    void resetKeys();

    QTemporaryDir m_dir;
    OtherXClient m_other;
};

void TestHotKeys::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QVERIFY(m_other.isOpen());
    m_other.focusRoot();
}

void TestHotKeys::expectActivation(const char* keys, int index)
{
    QSignalSpy spy(ZMHotKeyMgr::instance(), &ZMHotKeyMgr::hotKeyActive);
    press(keys);
    QVERIFY2(spy.wait(3000), keys);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), index);
}

void TestHotKeys::resetKeys()
{
    QVERIFY(ZMHotKeyMgr::instance()->setHotKey(0, QKeySequence("Ctrl+F1")));
    QVERIFY(ZMHotKeyMgr::instance()->setHotKey(1, QKeySequence("Ctrl+F3")));
}

// Runs before the program-wide manager exists, which would hold the same default keys.
void TestHotKeys::destructionSavesAndReleasesTheKeys()
{
    {
        ZMHotKeyMgr mgr;
        QCOMPARE(mgr.hotKey(0), QKeySequence("Ctrl+F1"));
        QCOMPARE(mgr.hotKey(1), QKeySequence("Ctrl+F3"));
        QVERIFY(!m_other.grab("F1", kControl));
        QVERIFY(!m_other.grab("F1", kControl | kNumLock | kLock));
        QVERIFY(mgr.setHotKey(1, QKeySequence("Shift+F4")));
        QVERIFY(!QFile::exists(ZMHotKeyMgr::fileName()));
    }
    QCOMPARE(fileBytes(), QByteArray("Ctrl+F1\nShift+F4\n"));
    QVERIFY(m_other.grab("F1", kControl));
    QVERIFY(m_other.grab("F3", kControl));
    m_other.ungrab("F1", kControl);
    m_other.ungrab("F3", kControl);
    QFile::remove(ZMHotKeyMgr::fileName());
}

// No file yet: the built-in keys are written down and no conflict is reported, unless
// another program holds one of them. A refused key is kept in the file as its built-in key.
void TestHotKeys::firstStartKeepsTheDefaultsQuietly()
{
    {
        ZMHotKeyMgr mgr;
        QVERIFY(mgr.loadOrKeepDefaults());
        QCOMPARE(fileBytes(), QByteArray("Ctrl+F1\nCtrl+F3\n"));
    }
    QFile::remove(ZMHotKeyMgr::fileName());
    QVERIFY(m_other.grab("F1", kControl));
    {
        ZMHotKeyMgr mgr;
        QVERIFY(mgr.hotKey(0).isEmpty());
        QVERIFY(!mgr.loadOrKeepDefaults());
        QVERIFY(!QFile::exists(ZMHotKeyMgr::fileName()));
        QVERIFY(mgr.saveHotKeys());
        QCOMPARE(fileBytes(), QByteArray("Ctrl+F1\nCtrl+F3\n"));
    }
    m_other.ungrab("F1", kControl);
    {
        ZMHotKeyMgr mgr;
        QVERIFY(mgr.loadOrKeepDefaults());
    }
    QFile::remove(ZMHotKeyMgr::fileName());
}

void TestHotKeys::keysActivateTheirSlotWhateverTheLockKeys()
{
    ZMHotKeyMgr* mgr = ZMHotKeyMgr::instance();
    QCOMPARE(key(0), QString("Ctrl+F1"));
    QCOMPARE(key(1), QString("Ctrl+F3"));
    expectActivation("ctrl+F1", 0);
    expectActivation("ctrl+F3", 1);

    press("Num_Lock");
    QVERIFY(m_other.lockOn(kNumLock));
    expectActivation("ctrl+F1", 0);
    press("Caps_Lock");
    QVERIFY(m_other.lockOn(kLock));
    expectActivation("ctrl+F3", 1);
    press("Num_Lock");
    expectActivation("ctrl+F1", 0);
    press("Caps_Lock");
    QVERIFY(!m_other.lockOn(kLock | kNumLock));

    // Other combinations of the same key are not the shortcut.
    QSignalSpy spy(mgr, &ZMHotKeyMgr::hotKeyActive);
    press("F1");
    press("ctrl+alt+F1");
    QVERIFY(!spy.wait(300));
}

void TestHotKeys::keyHeldByAnotherClientIsRefused()
{
    ZMHotKeyMgr* mgr = ZMHotKeyMgr::instance();
    resetKeys();
    QVERIFY(m_other.grab("F5", kAlt));
    QVERIFY(!mgr->setHotKey(1, QKeySequence("Alt+F5")));
    QCOMPARE(key(1), QString("Ctrl+F3"));
    expectActivation("ctrl+F3", 1);

    // Loading stops at the refused key; the slots not reached keep theirs.
    writeFile("Alt+F5\nF9\n");
    QVERIFY(!mgr->loadHotKeys());
    QCOMPARE(key(0), QString("Ctrl+F1"));
    QCOMPARE(key(1), QString("Ctrl+F3"));
    writeFile("F9\nAlt+F5\n");
    QVERIFY(!mgr->loadHotKeys());
    QCOMPARE(key(0), QString("F9"));
    QCOMPARE(key(1), QString("Ctrl+F3"));

    // Only a lock-key variant held elsewhere is enough to refuse: the key would not always work.
    m_other.ungrab("F5", kAlt);
    QVERIFY(m_other.grab("F5", kAlt | kNumLock));
    QVERIFY(!mgr->setHotKey(1, QKeySequence("Alt+F5")));
    QVERIFY(m_other.grab("F5", kAlt));  // the refused attempt left nothing grabbed
    m_other.ungrab("F5", kAlt);
    m_other.ungrab("F5", kAlt | kNumLock);
    QVERIFY(mgr->setHotKey(1, QKeySequence("Alt+F5")));
    expectActivation("alt+F5", 1);

    QVERIFY(!mgr->setHotKey(0, QKeySequence()));
    QVERIFY(!mgr->setHotKey(0, QKeySequence("Ctrl+A, B")));
    QCOMPARE(key(0), QString("F9"));
    resetKeys();
}

void TestHotKeys::changingAKeyReleasesTheOldOne()
{
    ZMHotKeyMgr* mgr = ZMHotKeyMgr::instance();
    QVERIFY(mgr->setHotKey(0, QKeySequence("Ctrl+F6")));
    QVERIFY(!m_other.grab("F6", kControl));
    QVERIFY(mgr->setHotKey(0, QKeySequence("Ctrl+F7")));
    QVERIFY(mgr->setHotKey(0, QKeySequence("Ctrl+F7")));  // the same key again
    QVERIFY(m_other.grab("F6", kControl));
    QVERIFY(!m_other.grab("F7", kControl));
    expectActivation("ctrl+F7", 0);
    m_other.ungrab("F6", kControl);

    // One key cannot serve both slots.
    QVERIFY(!mgr->setHotKey(1, QKeySequence("Ctrl+F7")));
    QCOMPARE(key(1), QString("Ctrl+F3"));

    // A standalone shortcut releases its key when it goes.
    {
        ZMGlobalShortcut shortcut(QKeySequence("Shift+F8"));
        QCOMPARE(shortcut.shortcut(), QKeySequence("Shift+F8"));
        QVERIFY(!m_other.grab("F8", 1));
    }
    QVERIFY(m_other.grab("F8", 1));
    m_other.ungrab("F8", 1);
    resetKeys();
}

void TestHotKeys::fileEdgeCases()
{
    ZMHotKeyMgr* mgr = ZMHotKeyMgr::instance();
    QFile::remove(ZMHotKeyMgr::fileName());
    QVERIFY(!mgr->loadHotKeys());

    writeFile("Alt+F5\r\nF9\r\n");
    QVERIFY(mgr->loadHotKeys());
    QCOMPARE(key(0), QString("Alt+F5"));
    QCOMPARE(key(1), QString("F9"));
    resetKeys();

    writeFile("  Shift+F2 \n");
    QVERIFY(mgr->loadHotKeys());
    QCOMPARE(key(0), QString("Shift+F2"));
    QCOMPARE(key(1), QString("Ctrl+F3"));

    writeFile("");
    QVERIFY(mgr->loadHotKeys());
    QCOMPARE(key(0), QString("Shift+F2"));

    writeFile("\nF9\n");
    QVERIFY(!mgr->loadHotKeys());
    writeFile("NoSuchKey\n");
    QVERIFY(!mgr->loadHotKeys());
    QCOMPARE(key(0), QString("Shift+F2"));

    QVERIFY(mgr->saveHotKeys());
    QCOMPARE(fileBytes(), QByteArray("Shift+F2\nCtrl+F3\n"));
    resetKeys();
}

void TestHotKeys::dialogShowsAndSavesTheKeys()
{
    ZMHotKeyMgr* mgr = ZMHotKeyMgr::instance();
    QVERIFY(mgr->setHotKey(0, QKeySequence("Alt+F5")));
    QVERIFY(mgr->setHotKey(1, QKeySequence("F9")));
    {
        HotKeySetDlg dlg;
        QCOMPARE(dlg.windowTitle(), QString("设置快捷键"));
        auto* startMod = dlg.findChild<QComboBox*>("cbBox_start_Modifer");
        auto* startKey = dlg.findChild<QComboBox*>("cbBox_start_key");
        auto* stopMod = dlg.findChild<QComboBox*>("cbBox_stop_Modifer");
        auto* stopKey = dlg.findChild<QComboBox*>("cbBox_stop_key");
        QCOMPARE(startMod->currentText(), QString("Alt"));
        QCOMPARE(startKey->currentText(), QString("F5"));
        QCOMPARE(stopMod->currentIndex(), 0);
        QCOMPARE(stopKey->currentText(), QString("F9"));

        startMod->setCurrentIndex(0);
        startKey->setCurrentText("F12");
        dlg.show();
        dlg.findChild<QPushButton*>("btn_save")->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(fileBytes(), QByteArray("F12\nF9\n"));
    }
    {
        HotKeySetDlg dlg;
        dlg.show();
        dlg.findChild<QPushButton*>("btn_default")->click();
        QCOMPARE(fileBytes(), QByteArray("F12\nF9\n"));  // nothing applied before saving
        dlg.findChild<QPushButton*>("btn_save")->click();
        // The defaults offered are the keys the program starts with.
        QCOMPARE(fileBytes(), QByteArray("Ctrl+F1\nCtrl+F3\n"));
        QCOMPARE(key(1), QString("Ctrl+F3"));
    }
    {
        HotKeySetDlg dlg;
        dlg.show();
        dlg.findChild<QComboBox*>("cbBox_start_key")->setCurrentText("F11");
        dlg.findChild<QPushButton*>("btn_cancel")->click();
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QVERIFY(!dlg.isVisible());
        QCOMPARE(key(0), QString("Ctrl+F1"));
        QCOMPARE(fileBytes(), QByteArray("Ctrl+F1\nCtrl+F3\n"));
    }
    resetKeys();
}

void TestHotKeys::dialogAsksAboutAKeyInUse()
{
    ZMHotKeyMgr* mgr = ZMHotKeyMgr::instance();
    writeFile("unchanged\n");
    QVERIFY(m_other.grab("F5", kAlt));
    HotKeySetDlg dlg;
    dlg.show();
    dlg.findChild<QComboBox*>("cbBox_start_Modifer")->setCurrentText("Alt");
    dlg.findChild<QComboBox*>("cbBox_start_key")->setCurrentText("F5");
    dlg.findChild<QComboBox*>("cbBox_stop_key")->setCurrentText("F4");

    // "Set again": the dialog stays open, nothing is written, the later slot is not touched.
    QString question;
    answerQuestion("重新设置", &question);
    dlg.findChild<QPushButton*>("btn_save")->click();
    QCOMPARE(question, QString("提示|快捷键 'Alt+F5' 已经被占用,是否重新设置?"));
    QVERIFY(dlg.isVisible());
    QCOMPARE(fileBytes(), QByteArray("unchanged\n"));
    QCOMPARE(key(0), QString("Ctrl+F1"));
    QCOMPARE(key(1), QString("Ctrl+F3"));

    // "I see": the refused slot keeps its key, the next one is set and the file written.
    question.clear();
    answerQuestion("我知道了", &question);
    dlg.findChild<QPushButton*>("btn_save")->click();
    QVERIFY(!question.isEmpty());
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(fileBytes(), QByteArray("Ctrl+F1\nCtrl+F4\n"));
    expectActivation("ctrl+F4", 1);
    m_other.ungrab("F5", kAlt);
    QVERIFY(mgr->setHotKey(1, QKeySequence("Ctrl+F3")));
}

// On Wayland the portal binds the keys. The session handle comes as a string from some portals
// and as an object path from others; either way the keys are bound with their triggers, only
// this session's activations count, and the session is closed at the end. (Nothing asks for
// the portal before the stand-in holds its name: the bus would start the real one.)
void TestHotKeys::portalBindsTheKeysAndReportsTheirUse()
{
    for (const bool asObjectPath : {false, true}) {
        PortalStandIn portal(asObjectPath);
        QVERIFY(portal.isServing());
        QVERIFY(ZMPortalShortcuts::offered());
        auto keys = std::make_unique<ZMPortalShortcuts>();
        QSignalSpy used(keys.get(), &ZMPortalShortcuts::activated);
        keys->bind({QKeySequence(QStringLiteral("Ctrl+Alt+R")), QKeySequence(QStringLiteral("Shift+F9"))});
        QTRY_COMPARE(portal.asked().triggers.value(QStringLiteral("stop")), QStringLiteral("SHIFT+F9"));
        QCOMPARE(portal.asked().triggers.value(QStringLiteral("start-pause")), QStringLiteral("CTRL+ALT+R"));
        portal.activate(portal.asked().session + QStringLiteral("_other"), QStringLiteral("start-pause"));
        portal.activate(portal.asked().session, QStringLiteral("stop"));
        QTRY_VERIFY(!used.isEmpty());
        QCOMPARE(used.count(), 1);
        QCOMPARE(used.at(0).at(0).toInt(), int(ZMHotKeyMgr::GSC_Stop));
        keys.reset();
        QTRY_VERIFY(portal.asked().calls.contains(QStringLiteral("Close")));
    }
}

QTEST_MAIN(TestHotKeys)
#include "tst_hotkeys.moc"

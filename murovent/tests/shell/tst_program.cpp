// SPDX-License-Identifier: GPL-2.0-or-later
// The real program on a real X server: its main window, the second-copy guard, hiding into
// the tray and coming back by a click on the tray icon, and leaving when there is no tray.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <functional>

#include "productserver.h"

namespace {

const QString kMainTitle = QString::fromUtf8("Murovent --[iZolmet && KX]Zolmet出品");
const QString kGuardTitle = QStringLiteral("Murovent [Zolmet]");

// A thin view of the X server's windows, as a window manager would see them.
class XView
{
public:
    XView() : m_dpy(XOpenDisplay(nullptr)) {}
    ~XView()
    {
        if (m_dpy)
            XCloseDisplay(m_dpy);
    }
    bool ok() const { return m_dpy; }

    QList<Window> find(const std::function<bool(Window)>& match)
    {
        QList<Window> found;
        walk(DefaultRootWindow(m_dpy), match, found);
        return found;
    }

    QString title(Window w)
    {
        const QByteArray name = property(w, "_NET_WM_NAME", XInternAtom(m_dpy, "UTF8_STRING", False));
        if (!name.isEmpty())
            return QString::fromUtf8(name);
        return QString::fromLatin1(property(w, "WM_NAME", XA_STRING));
    }

    qint64 pid(Window w)
    {
        const QByteArray value = property(w, "_NET_WM_PID", XA_CARDINAL);
        return value.size() >= int(sizeof(long)) ? *reinterpret_cast<const long*>(value.constData()) : -1;
    }

    bool viewable(Window w)
    {
        XWindowAttributes attributes;
        return XGetWindowAttributes(m_dpy, w, &attributes) && attributes.map_state == IsViewable;
    }

    QSize size(Window w)
    {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(m_dpy, w, &attributes))
            return {};
        return QSize(attributes.width, attributes.height);
    }

    // What a window manager sends when the user clicks a window's close button.
    void requestClose(Window w)
    {
        XEvent event = {};
        event.xclient.type = ClientMessage;
        event.xclient.window = w;
        event.xclient.message_type = XInternAtom(m_dpy, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = long(XInternAtom(m_dpy, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(m_dpy, w, False, NoEventMask, &event);
        XFlush(m_dpy);
    }

private:
    QByteArray property(Window w, const char* name, Atom type)
    {
        Atom actual;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        QByteArray out;
        if (XGetWindowProperty(m_dpy, w, XInternAtom(m_dpy, name, False), 0, 1024, False, type, &actual,
                               &format, &count, &after, &data) == Success && data) {
            out = QByteArray(reinterpret_cast<const char*>(data), int(count * (format == 32 ? sizeof(long) : format / 8)));
            XFree(data);
        }
        return out;
    }

    void walk(Window w, const std::function<bool(Window)>& match, QList<Window>& found)
    {
        if (match(w))
            found << w;
        Window root, parent, *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(m_dpy, w, &root, &parent, &children, &count))
            return;
        for (unsigned int i = 0; i < count; ++i)
            walk(children[i], match, found);
        if (children)
            XFree(children);
    }

    Display* m_dpy;
};

bool run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(15000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

class TestProgram : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void trayCycle();
    void withoutTray();
    void twoUsers();
    void hostileServerAndCache();
    void readOnlyFolder();

private:
    void startProgram(QProcess& process);
    // Starts the program as another user would: its own runtime, cache and working folders
    // under `home`, each made when missing.
    void startAsUser(QProcess& process, const QString& home, const QStringList& wrapper = {},
                     const QByteArray& hotKeys = "Ctrl+F1\nCtrl+F3\n");
    // Closes the main window (no tray: the program ends) and waits for the end; the time taken.
    qint64 closeAndWait(QProcess& process, Window main);
    bool hasWindowTitled(qint64 pid, const QString& title);
    Window waitForWindow(const QString& title, qint64 pid);

    XView m_x;
    QProcess m_program;
};

void TestProgram::init()
{
    QVERIFY(m_x.ok());
    // The program keeps its hot keys in the working folder; with them present no first-run
    // message covers the window.
    QFile keys(QDir::current().filePath("hotkey.cfg"));
    QVERIFY(keys.open(QIODevice::WriteOnly));
    keys.write("Ctrl+F1\nCtrl+F3\n");
}

void TestProgram::cleanup()
{
    if (m_program.state() != QProcess::NotRunning) {
        m_program.kill();
        m_program.waitForFinished(5000);
    }
}

void TestProgram::startProgram(QProcess& process)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(QStringLiteral(MUROVENT_BIN), {});
    QVERIFY(process.waitForStarted(5000));
}

void TestProgram::startAsUser(QProcess& process, const QString& home, const QStringList& wrapper,
                              const QByteArray& hotKeys)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"XDG_RUNTIME_DIR", "XDG_CACHE_HOME", "work"}) {
        const QString dir = home + '/' + name;
        QVERIFY(QDir().mkpath(dir));
        QVERIFY(QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
        if (name != QLatin1String("work"))
            env.insert(name, dir);
    }
    QFile keys(home + "/work/hotkey.cfg");
    QVERIFY(keys.open(QIODevice::WriteOnly));
    keys.write(hotKeys);
    keys.close();
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(home + "/work");
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    const QStringList command = wrapper + QStringList{QStringLiteral(MUROVENT_BIN)};
    process.start(command.first(), command.mid(1));
    QVERIFY(process.waitForStarted(5000));
}

qint64 TestProgram::closeAndWait(QProcess& process, Window main)
{
    QElapsedTimer clock;
    clock.start();
    m_x.requestClose(main);
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return -1;
    return clock.elapsed();
}

bool TestProgram::hasWindowTitled(qint64 pid, const QString& title)
{
    return !m_x.find([&](Window w) { return m_x.pid(w) == pid && m_x.title(w) == title && m_x.viewable(w); })
                .isEmpty();
}

Window TestProgram::waitForWindow(const QString& title, qint64 pid)
{
    QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        const QList<Window> windows = m_x.find([&](Window w) {
            return m_x.pid(w) == pid && m_x.title(w) == title && m_x.viewable(w);
        });
        if (!windows.isEmpty())
            return windows.first();
        QTest::qWait(100);
    }
    return 0;
}

void TestProgram::trayCycle()
{
    startProgram(m_program);
    const qint64 pid = m_program.processId();
    const Window main = waitForWindow(kMainTitle, pid);
    QVERIFY(main);
    QVERIFY(m_x.size(main).width() >= 860 && m_x.size(main).height() >= 627);

    // A picture of the window as the user first sees it, kept with the build.
    QTest::qWait(1500);
    QVERIFY(run("import", {"-window", QString::number(main), QStringLiteral(SHOT_DIR "/murovent-main-window.png")}));

    // A second copy says so and leaves with 0, without a main window of its own.
    QProcess second;
    startProgram(second);
    const Window box = waitForWindow(kGuardTitle, second.processId());
    QVERIFY(box);
    QVERIFY(m_x.find([&](Window w) { return m_x.pid(w) == second.processId() && m_x.title(w) == kMainTitle; }).isEmpty());
    QVERIFY(run("import", {"-window", QString::number(box), QStringLiteral(SHOT_DIR "/murovent-second-copy.png")}));
    m_x.requestClose(box);
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(m_program.state(), QProcess::Running);

    // Closing hides the window into the tray; the program keeps running.
    m_x.requestClose(main);
    QTRY_VERIFY_WITH_TIMEOUT(!m_x.viewable(main), 5000);
    QTest::qWait(500);
    QCOMPARE(m_program.state(), QProcess::Running);

    // A click on the tray icon brings it back.
    const QList<Window> icons = m_x.find([&](Window w) {
        const QSize s = m_x.size(w);
        return m_x.pid(w) == pid && m_x.viewable(w) && s.width() <= 64 && s.height() <= 64 && s.width() >= 8;
    });
    QVERIFY2(!icons.isEmpty(), "no tray icon of the program is shown");
    QVERIFY(run("xdotool", {"mousemove", "--window", QString::number(icons.first()), "5", "5", "click", "1"}));
    QTRY_VERIFY_WITH_TIMEOUT(m_x.viewable(main), 5000);

    // A copy that died leaves no lock behind that would keep the next one out.
    ::kill(pid_t(pid), SIGKILL);
    QVERIFY(m_program.waitForFinished(5000));
    startProgram(m_program);
    QVERIFY(waitForWindow(kMainTitle, m_program.processId()));
}

void TestProgram::withoutTray()
{
    startProgram(m_program);
    const Window main = waitForWindow(kMainTitle, m_program.processId());
    QVERIFY(main);
    // With no tray to hide in, closing the window ends the program normally.
    m_x.requestClose(main);
    QVERIFY(m_program.waitForFinished(10000));
    QCOMPARE(m_program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_program.exitCode(), 0);
}

// Two users, each with a runtime and a cache folder of their own, run the program at once: the
// lock of one does not keep the other out, while it still keeps out the same user's second copy.
void TestProgram::twoUsers()
{
    const QString first = QDir::current().filePath("first"), second = QDir::current().filePath("second");
    QProcess a, b, again;
    startAsUser(a, first);
    const Window mainA = waitForWindow(kMainTitle, a.processId());
    QVERIFY(mainA);
    // Both copies share this test's one X display, where a hot key can be held by one only.
    startAsUser(b, second, {}, "Ctrl+F5\nCtrl+F6\n");
    const Window mainB = waitForWindow(kMainTitle, b.processId());
    QVERIFY2(mainB, "the other user's copy was kept out");
    QVERIFY(!hasWindowTitled(b.processId(), kGuardTitle));
    QVERIFY(QFile::exists(first + "/XDG_RUNTIME_DIR/zm_murovent_shr.lock"));
    QVERIFY(!QFile::exists(QDir::tempPath() + "/zm_murovent_shr.lock"));

    startAsUser(again, first);
    const Window box = waitForWindow(kGuardTitle, again.processId());
    QVERIFY2(box, "the same user's second copy was not refused");
    m_x.requestClose(box);
    QVERIFY(again.waitForFinished(10000));

    QVERIFY(closeAndWait(a, mainA) >= 0);
    QVERIFY(closeAndWait(b, mainB) >= 0);
    for (const QString& home : {first, second})
        QVERIFY2(QFileInfo(home + "/XDG_CACHE_HOME/murovent/mr.cfg").isFile(), qPrintable(home));
    QVERIFY(!QFile::exists(QDir::tempPath() + "/mr.cfg"));
}

namespace {

QByteArray scrambledCache(const QByteArray& clear)
{
    // The program's own scrambling: each byte XOR 0x5A, then minus 0x27.
    QByteArray bytes = clear;
    for (char& c : bytes)
        c = char((static_cast<unsigned char>(c) ^ 0x5A) - 0x27);
    return bytes;
}

void plantCache(const QString& home, const QByteArray& clear)
{
    QDir().mkpath(home + "/XDG_CACHE_HOME/murovent");
    QFile file(home + "/XDG_CACHE_HOME/murovent/mr.cfg");
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(scrambledCache(clear));
}

} // namespace

// A server whose replies nest without end and caches that nest too deep or point the
// advertisement picture at what is no file: the program starts, says nothing, and ends at once.
void TestProgram::hostileServerAndCache()
{
    ProductServer server;
    QVERIFY(server.isRunning());
    server.configure({{"getProductInfo", QJsonObject{{"body", QString(200000, '[')}}},
                      {"getProductAd", QJsonObject{{"body", R"({"id": 7, "x": )" + QString(999, '[') + QString(999, ']') + "}"}}},
                      {"useReport", QJsonObject{{"body", "{}"}}}});
    qputenv("MUROVENT_SERVER_URL", server.url().toUtf8());
    const QString home = QDir::current().filePath("hostile");
    const QString fifo = QDir::current().filePath("picture.fifo");
    QVERIFY(mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    const QByteArray deep = R"({"proVerInfo": {"version": "9.9.9"}, "x": )" + QByteArray(999, '[') + QByteArray(999, ']') + "}";
    const QByteArray pictureAt = R"({"proAdInfo": {"id": 7}, "proAdImage": {"localpath": "%1", "adImageMD5": "x"}})";
    for (const QByteArray& cache : {deep, QByteArray(pictureAt).replace("%1", "/dev/zero"),
                                    QByteArray(pictureAt).replace("%1", QFile::encodeName(fifo))}) {
        plantCache(home, cache);
        QProcess program;
        startAsUser(program, home);
        const Window main = waitForWindow(kMainTitle, program.processId());
        QVERIFY2(main, cache.left(80).constData());
        QVERIFY(!hasWindowTitled(program.processId(), QString::fromUtf8("提示")));
        const qint64 ms = closeAndWait(program, main);
        QVERIFY2(ms >= 0 && ms < 2000, qPrintable(QString::number(ms)));
    }
    qunsetenv("MUROVENT_SERVER_URL");
}

// A working folder that takes no files: the window comes up with the built-in themes, and
// the user is told that nothing will be saved.
void TestProgram::readOnlyFolder()
{
    const QString home = QDir::current().filePath("readonly");
    // Folder modes do not stop root: for root, a read-only mount of the folder in a namespace
    // of its own (entered again, since the working folder still refers to the writable one).
    const QStringList wrapper =
        geteuid() == 0 ? QStringList{"unshare", "-m", "sh", "-c",
                                     "mount --bind \"$PWD\" \"$PWD\" && mount -o remount,bind,ro \"$PWD\" && cd \"$PWD\" && exec \"$0\""}
                       : QStringList{"sh", "-c", "chmod a-w \"$PWD\" && exec \"$0\""};
    QProcess program;
    startAsUser(program, home, wrapper);
    const Window main = waitForWindow(kMainTitle, program.processId());
    QVERIFY(main);
    QVERIFY(waitForWindow(QString::fromUtf8("提示"), program.processId()));
    QVERIFY(closeAndWait(program, main) >= 0);
    QFile::setPermissions(home + "/work", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QVERIFY(!QFile::exists(home + "/work/user_win7.cfg") && !QFile::exists(home + "/work/user_xp.cfg"));
}

int main(int argc, char* argv[])
{
    // Private temporary and working folders: the program's files of one run never meet another
    // test's. Its lock and server cache follow XDG_RUNTIME_DIR and XDG_CACHE_HOME, which the test
    // environment makes private (the tests that stand for other users give theirs their own).
    char pattern[] = "/tmp/mvprogram.XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (!dir)
        return 1;
    setenv("TMPDIR", dir, 1);
    if (!QDir::setCurrent(QString::fromLocal8Bit(dir)))
        return 1;
    int rc;
    {
        QCoreApplication app(argc, argv);
        TestProgram test;
        rc = QTest::qExec(&test, argc, argv);
    }
    QDir(QString::fromLocal8Bit(dir)).removeRecursively();
    return rc;
}
#include "tst_program.moc"

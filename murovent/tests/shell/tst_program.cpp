// SPDX-License-Identifier: GPL-2.0-or-later
// The real program on a real X server: its main window, the second-copy guard, hiding into
// the tray and coming back by a click on the tray icon, and leaving when there is no tray.
#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QtTest>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <csignal>
#include <functional>

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

private:
    void startProgram(QProcess& process);
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

int main(int argc, char* argv[])
{
    // Private temporary and working folders: the instance lock, the server cache and the
    // program's files of one run never meet another test's.
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

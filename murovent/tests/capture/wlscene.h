// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// Puts known content on the test's headless Wayland desktop (scripts/testenv --wayland) and
// finds that desktop's programs: the background picture of its one output, the pointer, and
// the process ids of the compositor, PipeWire and the portals of this session.

#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

namespace wlscene {

struct Rect {
    int x, y, width, height;
    uint32_t rgb;  // 0xRRGGBB
};

// Runs one sway command (swaymsg); false with sway's answer in *error.
bool sway(const QString& command, QString* error = nullptr);

// The output as the compositor shows it now (grim), without the pointer; null on failure.
QImage screenshot();

// Makes the output's background a 1280x720 picture of `background` with the rectangles.
bool paintBackground(uint32_t background, const std::vector<Rect>& rects);

// The process id of the named program (its /proc comm) running in this test's session, or -1.
int sessionPid(const char* name);

// A program the test environment copied where the test's user can run it ($MUROVENT_STAGE),
// else the built one.
std::string staged(const char* builtPath);

// A D-Bus session bus with nothing on it, for as long as the object lives.
class EmptyBus
{
public:
    EmptyBus();
    ~EmptyBus();
    QString address() const { return m_address; }

private:
    int m_pid = -1;
    QString m_address;
};

// Another back-end of the screen cast portal in place of the test desktop's own, for as long
// as the object lives: the same program without the test helper, which refuses to start a
// cast here, or one whose monitor chooser fails, as if the user cancelled.
class OtherPortalBackend
{
public:
    enum Kind { Refusing, Cancelling };
    explicit OtherPortalBackend(Kind kind);
    ~OtherPortalBackend();
    // True once it serves the portal.
    bool serving() const { return m_serving; }

private:
    QProcess m_portal;
    bool m_serving = false;
};

// What the screen cast portal receives for one of its methods, as a monitor on the bus sees it.
class BusWatch
{
public:
    explicit BusWatch(const char* member);
    ~BusWatch();
    // Everything seen, once the call went by (or after 2 s without it).
    QString seen();

private:
    QByteArray m_member;
    QProcess m_monitor;
    QByteArray m_text;
};

// True when the text of seen() shows the option `name` with the value (dbus-monitor's
// rendering, e.g. `string "abc"` or `uint32 2`).
bool hasOption(const QString& traffic, const QString& name, const QString& value);

} // namespace wlscene

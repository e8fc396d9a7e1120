#pragma once

// Puts known content on the test's headless Wayland desktop (scripts/testenv --wayland) and
// finds that desktop's programs: the background picture of its one output, the pointer, and
// the process ids of the compositor, PipeWire and the portals of this session.

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

} // namespace wlscene

// SPDX-License-Identifier: GPL-2.0-or-later
#include "test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <csignal>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

namespace audiotest {

void TonePlayer::start(int hz, double seconds)
{
    startRaw("sox -q -n -t raw -r 48000 -c 2 -e signed -b 16 - synth " + std::to_string(seconds) +
             " sine " + std::to_string(hz) + " vol 0.5");
}

void TonePlayer::startRaw(const std::string& command)
{
    stop();
    const std::string pipeline = command +
        " | pacat -p --rate 48000 --channels 2 --format s16le --latency-msec=20 2>/dev/null";
    m_pid = fork();
    if (m_pid == 0) {
        setpgid(0, 0);   // its own group, so stop() ends the whole pipeline
        execl("/bin/sh", "sh", "-c", pipeline.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
}

void TonePlayer::stop()
{
    if (m_pid <= 0)
        return;
    kill(-m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

bool waitUntil(const std::function<bool()>& done, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() >= ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

void spin(int ms)
{
    waitUntil([] { return false; }, ms);
}

void killSoundServer()
{
    if (std::system("pulseaudio -k >/dev/null 2>&1") != 0)
        std::abort();
    // pulseaudio -k returns before the server has gone; wait until it no longer answers.
    waitUntil([] { return std::system("pactl info >/dev/null 2>&1") != 0; }, 5000);
}

std::string tempPath(const std::string& name)
{
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    return (dir ? QString::fromLocal8Bit(dir) : QDir::tempPath()).toStdString() + "/" + name;
}

}  // namespace audiotest

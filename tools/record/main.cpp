// SPDX-License-Identifier: GPL-2.0-or-later
// murovent-record: records the screen from the command line on the program's recording path.
#include "zm_recordoptions.h"
#include "zm_recordsession.h"

#include <capture/zm_monitors.h>
#include <common/zm_processend.h>
#include <common/zm_signalexit.h>

#include <QCoreApplication>
#include <QByteArray>
#include <QList>

#include <cstdio>

#ifdef ZM_SYSTEM_SOUND
#include <capture/zm_sounddevices.h>
#endif

namespace {

// One line a monitor, numbered as --monitor takes them.
int listMonitors(const QString& display)
{
    QString error;
    const std::vector<ZMMonitors::Monitor> monitors = ZMMonitors::list(display.toLocal8Bit(), &error);
    if (monitors.empty()) {
        std::fprintf(stderr, "murovent-record: %s\n", qPrintable(error));
        return 1;
    }
    for (size_t i = 0; i < monitors.size(); ++i)
        std::printf("%zu: %s\n", i, qPrintable(ZMMonitors::describe(monitors[i])));
    return 0;
}

#ifdef ZM_SYSTEM_SOUND
void printDevices(const char* title, const std::vector<ZMSoundDevice>& devices, const QByteArray& fallback)
{
    std::printf("%s\n", title);
    for (const ZMSoundDevice& device : devices)
        std::printf("  %-30s %s%s\n", device.name.constData(), qPrintable(device.description),
                    device.name == fallback ? " (default)" : "");
    if (devices.empty())
        std::printf("  (none)\n");
}

// Exit status 0 when listed, 1 when the sound server cannot be asked.
int listAudioDevices(const QString& program)
{
    ZMSoundDevices devices;
    QString error;
    if (!devices.query(&error)) {
        std::fprintf(stderr, "%s: cannot list the sound devices: %s\n", qPrintable(program), qPrintable(error));
        return 1;
    }
    printDevices("Microphones (--mic-device NAME):", devices.inputs(), devices.defaultInput());
    printDevices("Outputs, whose sound --audio system records (--system-device SINK):", devices.outputs(),
                 devices.defaultOutput());
    return 0;
}
#endif

} // namespace

int main(int argc, char** argv)
{
    const QString program = QStringLiteral("murovent-record");
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QByteArray(argv[i]);
    ZMRecordOptions options;
    QString error;
    switch (options.parse(arguments, &error)) {
    case ZMRecordOptions::ShowHelp:
        std::fputs(qPrintable(ZMRecordOptions::helpText(program)), stdout);
        return 0;
    case ZMRecordOptions::ListMonitors:
        return listMonitors(options.display);
    case ZMRecordOptions::ListAudioDevices:
#ifdef ZM_SYSTEM_SOUND
        return listAudioDevices(program);
#endif
    case ZMRecordOptions::Invalid:
        std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", qPrintable(program), qPrintable(error),
                     qPrintable(program));
        return 2;
    case ZMRecordOptions::Run:
        break;
    }
    // The pictures come from Xlib or PipeWire and Qt only paints watermarks into images, which
    // needs no window system: without one Qt holds no connection of its own to the display,
    // whose loss would otherwise end the program before the file is finalised.
    QCoreApplication app(argc, argv);
    int status = 0;
    {
        ZMRecordSession session(options);
        if (session.prepare(&error)) {
            // Ctrl+C, SIGTERM (logout, shutdown) and SIGHUP (the terminal closed) ask for a
            // stop; the file-size limit arrives as a failed write (see ZMSignalExit).
            const ZMSignalExit signalExit(&ZMRecordSession::requestStop);
            status = session.run();
        } else {
            std::fprintf(stderr, "%s: %s\n", qPrintable(program), qPrintable(error));
            status = session.failureStatus();
        }
    }
    ZMProcessEnd::leave(status);
}

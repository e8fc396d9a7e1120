// Feeds arbitrary argument lists (the input split at NUL bytes) to murovent-record's option
// parser and checks what it accepts: every value in its range, an area whose edges stay within
// int (the checks after parsing add its size to its corner), and an output named by exactly
// the bytes given.
#include "zm_recordoptions.h"

#include <QByteArray>
#include <QList>

#include <climits>
#include <cstdint>
#include <cstdlib>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

void checkAccepted(const ZMRecordOptions& o, const QList<QByteArray>& arguments)
{
    require(!o.output.isEmpty() && arguments.contains(o.outputPath));
    if (o.hasArea) {
        require(o.x >= 0 && o.y >= 0 && o.width > 0 && o.height > 0);
        require(qint64(o.x) + o.width <= INT_MAX && qint64(o.y) + o.height <= INT_MAX);
    }
    require(o.fps >= 1 && o.fps <= 60);
    require(o.duration >= 0 && o.duration <= 24 * 3600);
    require(!o.rateGiven || o.rate == 8000 || o.rate == 11025 || o.rate == 22050 || o.rate == 44100);
    require(!o.audioOnly || o.audio != ZMRecordOptions::NoAudio);
    for (const ZMRecordOptions::Mark& mark : o.marks)
        require(!mark.path.isEmpty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QList<QByteArray> arguments = QByteArray(reinterpret_cast<const char*>(data), int(size)).split('\0');
    if (arguments.size() > 64)
        return 0;
    ZMRecordOptions options;
    QString error;
    switch (options.parse(arguments, &error)) {
    case ZMRecordOptions::Run:
        checkAccepted(options, arguments);
        break;
    case ZMRecordOptions::Invalid:
        require(!error.isEmpty());
        break;
    case ZMRecordOptions::ShowHelp:
        require(!ZMRecordOptions::helpText(QStringLiteral("murovent-record")).isEmpty());
        break;
    }
    return 0;
}

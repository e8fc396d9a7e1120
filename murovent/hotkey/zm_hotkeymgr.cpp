// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_hotkeymgr.h"

#include "zm_globalshortcut.h"

#include <QFile>
#include <QSaveFile>

namespace {

// Reading and writing lines like fgets and fputs with a 256-byte buffer.
constexpr int kLineBuffer = 256;

void checkIndex(int index, const char* file, int line)
{
    if (!(index >= 0 && index < ZMHotKeyMgr::GSC_Length))
        qFatal("ASSERT: \"%s\" in file %s, line %d", "index >= 0 && index < GSC_Length", file, line);
}

const char* const kBuiltInKeys[ZMHotKeyMgr::GSC_Length] = {"Ctrl+F1", "Ctrl+F3"};

QKeySequence builtInKey(int index)
{
    return QKeySequence::fromString(QString::fromLatin1(kBuiltInKeys[index]), QKeySequence::PortableText);
}

} // namespace

ZMHotKeyMgr::ZMHotKeyMgr(QObject* parent)
    : QObject(parent)
{
    m_gsc[GSC_Start] = new ZMGlobalShortcut(builtInKey(GSC_Start), this);
    connect(m_gsc[GSC_Start], &ZMGlobalShortcut::activated, this, &ZMHotKeyMgr::slot_start);
    m_gsc[GSC_Stop] = new ZMGlobalShortcut(builtInKey(GSC_Stop), this);
    connect(m_gsc[GSC_Stop], &ZMGlobalShortcut::activated, this, &ZMHotKeyMgr::slot_stop);
}

ZMHotKeyMgr::~ZMHotKeyMgr()
{
    saveHotKeys();
    for (ZMGlobalShortcut* gsc : m_gsc)
        delete gsc;
}

ZMHotKeyMgr* ZMHotKeyMgr::instance()
{
    static ZMHotKeyMgr mgr;
    return &mgr;
}

const char* ZMHotKeyMgr::fileName()
{
    return "./hotkey.cfg";
}

bool ZMHotKeyMgr::setHotKey(int index, const QKeySequence& key)
{
    checkIndex(index, __FILE__, __LINE__);
    return m_gsc[index]->setShortcut(key);
}

QKeySequence ZMHotKeyMgr::hotKey(int index) const
{
    checkIndex(index, __FILE__, __LINE__);
    return m_gsc[index]->shortcut();
}

bool ZMHotKeyMgr::loadHotKeys()
{
    QFile file(QString::fromUtf8(fileName()));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    for (int index = 0; index < GSC_Length; ++index) {
        char line[kLineBuffer];
        if (file.readLine(line, sizeof line) <= 0)
            break;
        const QString text = QString::fromUtf8(line).trimmed();
        if (!setHotKey(index, QKeySequence::fromString(text, QKeySequence::PortableText)))
            return false;
    }
    return true;
}

bool ZMHotKeyMgr::loadOrKeepDefaults()
{
    if (QFile::exists(QString::fromUtf8(fileName())))
        return loadHotKeys();
    for (int index = 0; index < GSC_Length; ++index)
        if (hotKey(index).isEmpty())
            return false;
    // A folder that cannot be written to is no conflict of keys: the keys work all the same.
    saveHotKeys();
    return true;
}

QList<QKeySequence> ZMHotKeyMgr::storedKeys()
{
    QList<QKeySequence> keys{builtInKey(GSC_Start), builtInKey(GSC_Stop)};
    QFile file(QString::fromUtf8(fileName()));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return keys;
    for (int index = 0; index < GSC_Length; ++index) {
        char line[kLineBuffer];
        if (file.readLine(line, sizeof line) <= 0)
            break;
        const QKeySequence key = QKeySequence::fromString(QString::fromUtf8(line).trimmed(), QKeySequence::PortableText);
        if (!key.isEmpty())
            keys[index] = key;
    }
    return keys;
}

bool ZMHotKeyMgr::saveHotKeys()
{
    // A slot whose key was refused keeps the key the file names (else its built-in key): an
    // empty line would be refused at every later start, even once the key is free again, and
    // where no key can be grabbed at all (a Wayland desktop) the user's keys must not be lost.
    const QList<QKeySequence> stored = storedKeys();
    // Written aside and renamed into place, so that a failed write keeps the old keys.
    QSaveFile file(QString::fromUtf8(fileName()));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    for (int index = 0; index < GSC_Length; ++index) {
        const QKeySequence key = hotKey(index).isEmpty() ? stored.value(index) : hotKey(index);
        QByteArray line = key.toString(QKeySequence::PortableText).toUtf8().left(kLineBuffer - 2);
        file.write(line + '\n');
    }
    return file.commit();
}

void ZMHotKeyMgr::slot_start()
{
    emit hotKeyActive(GSC_Start);
}

void ZMHotKeyMgr::slot_stop()
{
    emit hotKeyActive(GSC_Stop);
}

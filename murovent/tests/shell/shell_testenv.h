// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QDir>

#include <cstdlib>
#include <sys/stat.h>

// Points the temporary, runtime and cache folders of the process into a fresh private folder,
// so the server cache, the advertisement picture and the instance lock of one test never meet
// another's. Call before the application object exists.
inline QByteArray usePrivateTempDir()
{
    char pattern[] = "/tmp/mvshell.XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (!dir)
        return QByteArray();
    setenv("TMPDIR", dir, 1);
    for (const char* name : {"XDG_RUNTIME_DIR", "XDG_CACHE_HOME"}) {
        const QByteArray sub = QByteArray(dir) + "/" + name;
        mkdir(sub.constData(), 0700);
        setenv(name, sub.constData(), 1);
    }
    return QByteArray(dir);
}

// QTEST_MAIN with a private temporary directory (removed afterwards).
#define SHELL_TEST_MAIN(TestObject)                                   \
    int main(int argc, char* argv[])                                  \
    {                                                                 \
        const QByteArray tmp = usePrivateTempDir();                   \
        int rc;                                                       \
        {                                                             \
            QApplication app(argc, argv);                             \
            TestObject tc;                                            \
            QTEST_SET_MAIN_SOURCE_PATH                                \
            rc = QTest::qExec(&tc, argc, argv);                       \
        }                                                             \
        if (!tmp.isEmpty())                                           \
            QDir(QString::fromLocal8Bit(tmp)).removeRecursively();    \
        return rc;                                                    \
    }

// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

ZMLanguage::Language ZMLanguage::choose()
{
    const QByteArray asked = qgetenv("MUROVENT_LANG").trimmed().toLower();
    if (asked == "zh")
        return Chinese;
    if (asked == "en")
        return English;
    return QLocale::system().language() == QLocale::Chinese ? Chinese : English;
}

QLocale ZMLanguage::locale(Language language)
{
    const QLocale system = QLocale::system();
    if (language == Chinese)
        return system.language() == QLocale::Chinese ? system : QLocale(QLocale::Chinese, QLocale::China);
    return system.language() == QLocale::English ? system : QLocale(QLocale::English, QLocale::UnitedStates);
}

bool ZMLanguage::install(QCoreApplication* app, Language language)
{
    const QLocale chosen = locale(language);
    QLocale::setDefault(chosen);
    // Qt's own texts; a missing file leaves them in English, which is no reason to stop.
    auto* qt = new QTranslator(app);
    if (qt->load(chosen, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app->installTranslator(qt);
    if (language == Chinese)
        return true;
    auto* own = new QTranslator(app);
    if (!own->load(QStringLiteral(":/i18n/murovent_en.qm")))
        return false;
    app->installTranslator(own);
    return true;
}

// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QLocale>

class QCoreApplication;

// The language of the user interface: Chinese, the texts of the sources, or English, their
// translation. MUROVENT_LANG=zh|en decides; otherwise the locale's language does (Chinese for a
// Chinese locale, English for any other). Qt's own texts (dialog buttons, file choosers)
// follow the same choice. GUI thread, before any window is built.
class ZMLanguage
{
public:
    enum Language { Chinese, English };

    // The language this environment asks for.
    static Language choose();
    // The locale the program uses for that language: the system's when it speaks it.
    static QLocale locale(Language language);
    // Installs the translations of the language on the application and makes its locale the
    // default one. False, with the texts left in Chinese, when the translation is missing.
    static bool install(QCoreApplication* app, Language language);
};

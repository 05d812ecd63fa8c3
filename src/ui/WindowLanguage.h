#pragma once

#include <QLocale>
#include <QString>

class QTranslator;

namespace kvp {

// The translation the window takes under a locale, as a resource path; empty: none,
// the window keeps the Chinese it is written in.
QString windowTranslation(const QLocale &locale);

// Loads into translator what windowTranslation picks; false when it picks none or the
// translation could not be loaded (then the window stays Chinese).
bool loadWindowTranslation(QTranslator &translator, const QLocale &locale);

// Qt's own words (the buttons of its dialogs, a file dialog's labels) in the
// window's language: qtbase_zh_CN from Qt's translations folder (Debian's
// qt6-translations-l10n) when the window is Chinese. False when there is none to load;
// Qt then speaks English, as it does without it.
bool loadQtTranslation(QTranslator &translator, const QLocale &locale);

} // namespace kvp

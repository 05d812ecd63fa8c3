#include "WindowLanguage.h"

#include <QLibraryInfo>
#include <QTranslator>

namespace kvp {

QString windowTranslation(const QLocale &locale)
{
    // The window is written in Chinese, and C/POSIX keep it so: its users' machines
    // and terminals often run under C, and they know the window in Chinese. Any other
    // language reads English, as more of its readers know English than Chinese.
    switch (locale.language()) {
    case QLocale::C:
    case QLocale::AnyLanguage:
    case QLocale::Chinese:
        return {};
    default:
        return QStringLiteral(":/i18n/kvp-reader_en.qm");
    }
}

bool loadWindowTranslation(QTranslator &translator, const QLocale &locale)
{
    const QString file = windowTranslation(locale);
    return !file.isEmpty() && translator.load(file);
}

bool loadQtTranslation(QTranslator &translator, const QLocale &locale)
{
    // English is what Qt is written in; only a Chinese window needs a file.
    if (!windowTranslation(locale).isEmpty())
        return false;
    return translator.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

} // namespace kvp

#include "TrendChartLoader.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPluginLoader>

namespace kvp {
namespace {

struct Loaded {
    QString path; // empty: the default
    bool tried = false;
    TrendChartFactory *factory = nullptr;
    QString error;
};

Loaded &loaded()
{
    static Loaded state;
    return state;
}

} // namespace

QString TrendChartLoader::path()
{
    const Loaded &l = loaded();
    return l.path.isEmpty() ? QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(kFileName)
                            : l.path;
}

void TrendChartLoader::setPath(const QString &path)
{
    Loaded &l = loaded();
    if (l.path == path)
        return;
    // A library once loaded stays (its chart may be on screen); a new path is only
    // looked at when nothing was loaded yet.
    l.path = path;
    if (!l.factory)
        l.tried = false;
}

bool TrendChartLoader::tried()
{
    return loaded().tried;
}

TrendChartFactory *TrendChartLoader::factory()
{
    Loaded &l = loaded();
    if (l.tried)
        return l.factory;
    l.tried = true;
    l.error.clear();
    const QString file = path();
    if (!QFileInfo::exists(file)) {
        l.error = QCoreApplication::translate("kvp", "%1 不存在").arg(file);
        return nullptr;
    }
    // Never unloaded: charts made by it live as long as the window.
    static QPluginLoader *loader = nullptr;
    delete loader;
    loader = new QPluginLoader(file);
    QObject *instance = loader->instance();
    l.factory = qobject_cast<TrendChartFactory *>(instance);
    if (!l.factory)
        l.error = instance ? QCoreApplication::translate("kvp", "%1 不是本程序的趋势图库").arg(file) : loader->errorString();
    return l.factory;
}

QString TrendChartLoader::error()
{
    return loaded().error;
}

} // namespace kvp

#include "LastFolder.h"

#include "Remembered.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace kvp {
namespace {

const QString kKey = QStringLiteral("files/lastFolder");

} // namespace

QString LastFolder::get()
{
    const QSettings settings(RememberedStore::fileName(), QSettings::IniFormat);
    const QString folder = settings.value(kKey).toString();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath();
}

bool LastFolder::noteFile(const QString &file)
{
    QSettings settings(RememberedStore::fileName(), QSettings::IniFormat);
    settings.setValue(kKey, QFileInfo(file).absolutePath());
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace kvp

#include "recentsetups.h"

#include <QFileInfo>
#include <QSettings>

namespace {

// The application's default format, so that a test can point it at a scratch directory.
QSettings settings()
{
    return QSettings(QSettings::defaultFormat(), QSettings::UserScope, QStringLiteral("qd7310"),
        QStringLiteral("qd7310-eval"));
}

const QString kKey = QStringLiteral("recentSetups");

void store(QStringList paths)
{
    while (paths.size() > RecentSetups::kMax)
        paths.removeLast();
    settings().setValue(kKey, paths);
}

} // namespace

namespace RecentSetups {

QStringList list()
{
    QStringList paths = settings().value(kKey).toStringList();
    while (paths.size() > kMax)
        paths.removeLast();
    return paths;
}

void add(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList paths = list();
    paths.removeAll(absolute);
    paths.prepend(absolute);
    store(paths);
}

void remove(const QString &path)
{
    QStringList paths = list();
    paths.removeAll(QFileInfo(path).absoluteFilePath());
    store(paths);
}

} // namespace RecentSetups

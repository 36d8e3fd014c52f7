#pragma once

#include <QString>
#include <QStringList>

// The setups opened or saved last, newest first, kept in the user's settings so that every
// window, now or at a later start, offers the same list.
namespace RecentSetups {

constexpr int kMax = 8;

QStringList list();
// Puts `path` at the top, once, and drops what falls past kMax.
void add(const QString &path);
void remove(const QString &path);

} // namespace RecentSetups

#include "boardtrace.h"

#include <QDebug>

void boardDebug(const char *message)
{
    qDebug("%s", message);
}

#pragma once

#include <QByteArray>
#include <QString>

// The name and the picture bytes of score number `serial`, as the crash
// worker stores them and the checker expects them: a small JPEG with the
// number in a comment and a size that varies from 1 KB to 60 KB,
// so that writes span many pages.
QString workerName(qint64 serial);
QByteArray workerPicture(qint64 serial);

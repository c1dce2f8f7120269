// Shared by the library tests.
#pragma once

#include "testutil.h"

#include <QString>

// Runs the sqlite3 shell on a file, an independent reader; its output.
inline QString shell(const QString &db, const QString &sql)
{
    QByteArray out;
    const int rc = TestUtil::runProgram(QStringLiteral("sqlite3"), {db, sql}, &out);
    return rc == 0 ? QString::fromUtf8(out).trimmed() : QStringLiteral("sqlite3 failed");
}

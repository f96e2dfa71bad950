#pragma once

#include "FeedStore.h"
#include "Sqlite.h"

#include <QString>

#include <gtest/gtest.h>

namespace tidewell::test {

// The feed database at `file`, for a test to fill and read with the
// program's own calls.
inline FeedStore openFeeds(const QString &file)
{
    FeedStore feeds;
    feeds.open(file);
    return feeds;
}

// A statement run on a feed database the way the sqlite3 command would run
// it: for what the program itself never writes (a null field, a trigger, a
// table renamed away, a lock held).
inline void runSql(const sqlite::Database &db, const QString &sql)
{
    EXPECT_TRUE(db.execute(sql.toUtf8().constData())) << sql.toStdString() << ": " << db.errorMessage().toStdString();
}

inline void runSql(const QString &file, const QString &sql)
{
    sqlite::Database db;
    ASSERT_TRUE(db.open(file)) << file.toStdString();
    runSql(db, sql);
}

} // namespace tidewell::test

#pragma once

// The plant's shared PostgreSQL database, through Qt SQL and Debian's QPSQL driver: the schema
// (versioned, created and upgraded by lcdprog-cli db init), one insert per record keyed by its
// UUID, and the records read back for reports. Prepared statements only: no text of a record is
// ever part of a statement's text.
//
// A QSqlDatabase connection belongs to the thread that made it: make a PlantDatabase in the
// thread that uses it (the station's uploader has a thread of its own). Every wait on the server
// is bounded by connect_timeout (5 s unless the connection string says otherwise). QtCore, QtSql.

#include <QDateTime>
#include <QString>
#include <vector>

#include "platform/result.h"
#include "records/conninfo.h"
#include "records/unit_record.h"

namespace lcdprog::records {

// The schema this program writes to; lcdprog-cli db init brings a database up to it.
constexpr int kSchemaVersion = 1;

enum class Stored {
    Yes,      // the server has the record (now, or it had it already)
    Refused,  // the server will never take this record: its reason; the others go on
    Lost,     // the connection failed: nothing is known, try again later
};

struct InsertResult {
    Stored stored = Stored::Lost;
    QString reason;  // Italian, one line; empty for Stored::Yes
};

class PlantDatabase {
  public:
    explicit PlantDatabase(ConnectionTarget target, QString driver = QStringLiteral("QPSQL"));
    ~PlantDatabase();
    PlantDatabase(const PlantDatabase&) = delete;
    PlantDatabase& operator=(const PlantDatabase&) = delete;

    // Connects, unless connected. The refusal is the reason in Italian (wrong password, no such
    // database, server not reachable, the driver missing, ...).
    platform::Result<> Connect();
    // The schema is there and not older than this program's.
    platform::Result<> Check_Schema();
    void Disconnect();
    bool Connected() const;

    // Creates the schema, or upgrades it step by step. The version it was at before (0: none).
    platform::Result<int> Init_Schema();
    InsertResult Insert(const UnitRecord& record);
    // The records whose time is in [from, to) (an invalid bound is open), oldest first.
    platform::Result<std::vector<UnitRecord>> Read_Records(const QDateTime& from,
                                                           const QDateTime& to);

  private:
    const ConnectionTarget target_;
    const QString driver_;
    const QString connection_;  // the QSqlDatabase connection's name, unique per object
};

}  // namespace lcdprog::records

#pragma once

// A libpq connection string ("host=db.plant port=5432 dbname=produzione user=stazione1") as
// QSqlDatabase takes it: host, port, database and user by name, every other keyword as a connect
// option. A password is refused: it comes only from ~/.pgpass or PGPASSWORD, read by libpq
// itself, so it is never in a project, a record, a mark or a log. QtCore only.

#include <QString>
#include <utility>
#include <vector>

#include "platform/result.h"

namespace lcdprog::records {

struct ConnectionTarget {
    QString host;  // a name, an address, or a socket folder (starting with '/')
    int port = -1;
    QString database;
    QString user;
    // Every other keyword as written, in order, with the defaults this program adds
    // (connect_timeout, application_name) when the string has none.
    std::vector<std::pair<QString, QString>> options;
};

// Keyword = value pairs as libpq reads them (blanks around '=', values in single quotes with \'
// and \\). A refusal names what is wrong, in Italian.
platform::Result<ConnectionTarget> Parse_Conninfo(const QString& conninfo);

// The string for the log: as written, with the value of any password keyword replaced by
// "(removed)"; a string that cannot be read is not shown at all, only why (whose words name
// keywords, never values).
QString Without_Password(const QString& conninfo);

// The options as QSqlDatabase::setConnectOptions wants them: "key='value';...".
QString Connect_Options(const ConnectionTarget& target);

// "produzione su db.plant:5432 come stazione1": which server, for the operator.
QString Target_Text(const ConnectionTarget& target);
// The database the records went to, for the sent mark: the same server and database, whoever
// logs in, is the same place.
QString Target_Key(const ConnectionTarget& target);

}  // namespace lcdprog::records

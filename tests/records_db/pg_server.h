#pragma once

// A throw-away PostgreSQL server for the tests: Debian's initdb and pg_ctl in a temporary folder,
// listening only on a Unix socket in that folder, with a password for its one user. PostgreSQL
// refuses to run as root, so when the tests are root the server runs as `nobody`, and the folder
// is given to it. The cluster initdb made first is kept beside the test program; later runs start
// a copy of it.

#include <QString>
#include <QTemporaryDir>

namespace lcdprog::records {

class PgServer {
  public:
    static constexpr const char* kUser = "lcdprog";
    static constexpr const char* kPassword = "segreta-di-prova";

    // initdb, then Start(). "" when it runs, else what failed.
    QString Create();
    QString Start();
    QString Stop();
    QString Folder() const { return dir_.path(); }
    // "host=FOLDER dbname=NAME user=lcdprog"
    QString Conninfo(const QString& database) const;
    // ~/.pgpass's stand-in (PGPASSFILE), holding the password.
    QString Password_File() const { return dir_.filePath(QStringLiteral("pgpass")); }

  private:
    QString Run(const QString& tool, const QStringList& arguments) const;

    QTemporaryDir dir_{QStringLiteral("/tmp/lcdprog-pg-XXXXXX")};
    QString bin_;
};

}  // namespace lcdprog::records

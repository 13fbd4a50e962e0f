#include "records/plant_database.h"

#include <QLoggingCategory>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUuid>
#include <QVariant>
#include <string>
#include <utility>

#include "platform/qt/log.h"

namespace lcdprog::records {
namespace {

using platform::Refusal;
using platform::RefusalKind;

// Each step takes the schema from the version before it to its own; a step is never changed
// once released, a new one is added.
const std::vector<std::vector<const char*>> kSchemaSteps = {
    {
        // An empty text is stored as NULL: a record that lacks one is still a record.
        R"(CREATE TABLE lcdprog.unit_records (
            id uuid PRIMARY KEY,
            record integer NOT NULL,
            time timestamptz NOT NULL,
            unit integer NOT NULL,
            result text NOT NULL CHECK (result IN ('ok', 'failed', 'interrupted')),
            failure text,
            block integer,
            retries integer NOT NULL,
            seconds double precision NOT NULL,
            reprogrammed boolean NOT NULL,
            station text,
            position text,
            device text,
            by_id text,
            project text,
            image_sha256 text,
            operator text,
            work_order text,
            serial text,
            software text,
            text text,
            received timestamptz NOT NULL DEFAULT now()))",
        "CREATE INDEX unit_records_time ON lcdprog.unit_records (time)",
        "CREATE INDEX unit_records_order_serial ON lcdprog.unit_records (work_order, serial)",
    },
};

// The columns that are not texts, in the order Insert binds and Read_Records reads them; the
// texts follow, as Text_Fields() lists them.
constexpr const char* kColumns =
    "id, record, time, unit, result, failure, block, retries, seconds, reprogrammed";

QString Text_Columns() {
    QStringList columns;
    for (const TextField& field : Text_Fields()) {
        columns << QLatin1String(field.column);
    }
    return columns.join(QStringLiteral(", "));
}

// Qt keeps its connections by name for the whole process: each database gets a name of its own
// without a counter shared by every instance.
QString New_Connection_Name() {
    return QStringLiteral("lcdprog.records.") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

bool Has(const QString& text, const char* words) {
    return text.contains(QLatin1String(words), Qt::CaseInsensitive);
}

// libpq says what went wrong in words only (no code for a failed connection), in English unless
// the server or this machine speaks another language: the cases met in practice are found by
// their words, anything else is passed on as the server said it.
QString Reason(const QSqlError& error, const ConnectionTarget& target) {
    const QString code = error.nativeErrorCode();
    const QString said = One_Line(error.databaseText()).simplified();
    const QString user = target.user.isEmpty() ? QStringLiteral("predefinito") : target.user;
    if (code == QLatin1String("42P01") || code == QLatin1String("3F000")) {
        return QStringLiteral("lo schema non c'è: crearlo con lcdprog-cli db init");
    }
    if (code == QLatin1String("42501")) {
        return QStringLiteral(
                   "l'utente %1 non ha il permesso: concedergli INSERT e SELECT "
                   "sulle tabelle dello schema lcdprog")
            .arg(user);
    }
    if (Has(said, "password authentication failed")) {
        return QStringLiteral("password errata per l'utente %1").arg(user);
    }
    if (Has(said, "no password supplied")) {
        return QStringLiteral(
                   "nessuna password per l'utente %1: metterla in ~/.pgpass o in "
                   "PGPASSWORD")
            .arg(user);
    }
    if (Has(said, "does not exist") && Has(said, "database")) {
        return QStringLiteral("il database %1 non esiste sul server").arg(target.database);
    }
    if (Has(said, "does not exist") && Has(said, "role")) {
        return QStringLiteral("l'utente %1 non esiste sul server").arg(user);
    }
    if (Has(said, "pg_hba.conf")) {
        return QStringLiteral(
            "il server non accetta connessioni da questa postazione "
            "(pg_hba.conf)");
    }
    if (Has(said, "could not translate host name")) {
        return QStringLiteral("nome del server sconosciuto: %1").arg(target.host);
    }
    if (Has(said, "terminating connection") || Has(said, "server closed the connection") ||
        Has(said, "no connection to the server") || Has(said, "connection to server was lost") ||
        Has(said, "shutting down") || Has(said, "starting up")) {
        return QStringLiteral("il server ha chiuso la connessione (fermato o riavviato)");
    }
    if (Has(said, "connection refused") || Has(said, "no such file or directory") ||
        Has(said, "timeout expired") || Has(said, "unreachable") || Has(said, "no route")) {
        const QString host = target.host.isEmpty() ? QStringLiteral("localhost") : target.host;
        return QStringLiteral("il server %1 non risponde")
            .arg(target.port == -1 ? host : host + QLatin1Char(':') + QString::number(target.port));
    }
    return QStringLiteral("errore del database: ") + said;
}

Refusal Refused(const QString& reason) {
    return {RefusalKind::Unreadable, reason.toStdString()};
}

}  // namespace

PlantDatabase::PlantDatabase(ConnectionTarget target, QString driver)
    : target_(std::move(target)), driver_(std::move(driver)), connection_(New_Connection_Name()) {}

PlantDatabase::~PlantDatabase() {
    Disconnect();
    if (QSqlDatabase::contains(connection_)) {
        QSqlDatabase::removeDatabase(connection_);
    }
}

bool PlantDatabase::Connected() const {
    return QSqlDatabase::contains(connection_) &&
           QSqlDatabase::database(connection_, false).isOpen();
}

void PlantDatabase::Disconnect() {
    if (QSqlDatabase::contains(connection_)) {
        QSqlDatabase::database(connection_, false).close();
    }
}

platform::Result<> PlantDatabase::Connect() {
    if (Connected()) {
        return platform::kDone;
    }
    if (!QSqlDatabase::isDriverAvailable(driver_)) {
        return Refused(QStringLiteral("manca il driver %1 di Qt per PostgreSQL (pacchetto "
                                      "libqt6sql6-psql)")
                           .arg(driver_));
    }
    QSqlDatabase db = QSqlDatabase::contains(connection_)
                          ? QSqlDatabase::database(connection_, false)
                          : QSqlDatabase::addDatabase(driver_, connection_);
    db.setHostName(target_.host);
    db.setPort(target_.port);
    db.setDatabaseName(target_.database);
    db.setUserName(target_.user);
    db.setConnectOptions(Connect_Options(target_));
    qCInfo(platform::Records_Log) << "connecting to" << Target_Text(target_);
    if (!db.open()) {
        const QString reason = Reason(db.lastError(), target_);
        qCWarning(platform::Records_Log) << "not connected:" << reason;
        return Refused(reason);
    }
    return platform::kDone;
}

platform::Result<> PlantDatabase::Check_Schema() {
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    if (!query.exec(QStringLiteral("SELECT max(version) FROM lcdprog.schema_version")) ||
        !query.next()) {
        const QString reason = Reason(query.lastError(), target_);
        Disconnect();
        return Refused(reason);
    }
    const int version = query.value(0).toInt();
    if (version < kSchemaVersion) {
        Disconnect();
        return Refused(QStringLiteral("lo schema del database è alla versione %1, questo programma "
                                      "scrive nella %2: aggiornarlo con lcdprog-cli db init")
                           .arg(version)
                           .arg(kSchemaVersion));
    }
    return platform::kDone;
}

platform::Result<int> PlantDatabase::Init_Schema() {
    if (platform::Result<> connected = Connect(); !connected) {
        return connected.Why();
    }
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery query(db);
    // One transaction, the version table locked: two inits at once upgrade once.
    const auto run = [&](const QString& statement) { return query.exec(statement); };
    int before = 0;
    // The server's notes that what exists is left alone are no news to the operator.
    bool ok = run(QStringLiteral("SET client_min_messages TO warning")) && db.transaction() &&
              run(QStringLiteral("CREATE SCHEMA IF NOT EXISTS lcdprog")) &&
              run(QStringLiteral("CREATE TABLE IF NOT EXISTS lcdprog.schema_version "
                                 "(version integer NOT NULL)")) &&
              run(QStringLiteral("LOCK TABLE lcdprog.schema_version IN EXCLUSIVE MODE")) &&
              run(QStringLiteral("SELECT coalesce(max(version), 0) FROM lcdprog.schema_version")) &&
              query.next();
    if (ok) {
        before = query.value(0).toInt();
        if (before > kSchemaVersion) {
            db.rollback();
            return Refused(QStringLiteral("lo schema del database è alla versione %1, più recente "
                                          "di questo programma (versione %2): nulla è cambiato")
                               .arg(before)
                               .arg(kSchemaVersion));
        }
    }
    for (int step = before; ok && step < kSchemaVersion; ++step) {
        for (const char* statement : kSchemaSteps[static_cast<std::size_t>(step)]) {
            ok = ok && run(QString::fromLatin1(statement));
        }
    }
    ok = ok && run(QStringLiteral("DELETE FROM lcdprog.schema_version")) &&
         query.prepare(QStringLiteral("INSERT INTO lcdprog.schema_version VALUES (?)"));
    if (ok) {
        query.addBindValue(kSchemaVersion);
        ok = query.exec();
    }
    if (!ok || !db.commit()) {
        const QString reason = Reason(ok ? db.lastError() : query.lastError(), target_);
        db.rollback();
        return Refused(reason);
    }
    return before;
}

InsertResult PlantDatabase::Insert(const UnitRecord& r) {
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    QString marks = QStringLiteral("CAST(? AS uuid), ?, CAST(? AS timestamptz)");
    marks += QStringLiteral(", ?").repeated(7 + static_cast<qsizetype>(Text_Fields().size()));
    const QString statement =
        QStringLiteral(
            "INSERT INTO lcdprog.unit_records (%1, %2) VALUES (%3) ON CONFLICT (id) "
            "DO NOTHING")
            .arg(QLatin1String(kColumns), Text_Columns(), marks);
    if (query.prepare(statement)) {
        const QVariant noText(QMetaType::fromType<QString>());
        QVariantList values = {
            r.id,
            r.record,
            r.time.toUTC().toString(Qt::ISODateWithMs),
            r.unit,
            QString::fromLatin1(Outcome_Name(r.result)),
            r.failure && r.failure != RunFailure::None
                ? QVariant(QString::fromLatin1(Run_Failure_Name(*r.failure)))
                : noText,
            r.block ? QVariant(*r.block) : QVariant(QMetaType::fromType<int>()),
            r.retries,
            r.seconds,
            r.reprogrammed,
        };
        for (const TextField& field : Text_Fields()) {
            const QString& text = r.*field.member;
            values << (text.isEmpty() ? noText : QVariant(text));
        }
        for (const QVariant& value : values) {
            query.addBindValue(value);
        }
        if (query.exec()) {
            return {Stored::Yes, {}};
        }
    }
    const QSqlError error = query.lastError();
    // Class 22 (data exception) and 23 (integrity): this record, not the connection.
    const QString code = error.nativeErrorCode();
    if (code.startsWith(QLatin1String("22")) || code.startsWith(QLatin1String("23"))) {
        return {Stored::Refused, QStringLiteral("il server ha rifiutato il record: ") +
                                     One_Line(error.databaseText())};
    }
    const QString reason = Reason(error, target_);
    qCWarning(platform::Records_Log) << "insert failed:" << reason;
    Disconnect();
    return {Stored::Lost, reason};
}

platform::Result<std::vector<UnitRecord>> PlantDatabase::Read_Records(const QDateTime& from,
                                                                      const QDateTime& to) {
    if (platform::Result<> connected = Connect(); !connected) {
        return connected.Why();
    }
    // The UUID and the time as text, so that they come back exactly as the record has them.
    QString statement =
        QStringLiteral(
            "SELECT id::text, record, to_char(time AT TIME ZONE 'UTC', "
            "'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"'), unit, result, failure, block, "
            "retries, seconds, reprogrammed, %1 FROM lcdprog.unit_records WHERE true")
            .arg(Text_Columns());
    QVariantList bounds;
    for (const auto& [bound, condition] : {std::pair{from, " AND time >= CAST(? AS timestamptz)"},
                                           std::pair{to, " AND time < CAST(? AS timestamptz)"}}) {
        if (bound.isValid()) {
            statement += QLatin1String(condition);
            bounds << bound.toUTC().toString(Qt::ISODateWithMs);
        }
    }
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.setForwardOnly(true);
    bool ok = query.prepare(statement + QStringLiteral(" ORDER BY time, id"));
    for (const QVariant& bound : bounds) {
        query.addBindValue(bound);
    }
    if (!ok || !query.exec()) {
        const QString reason = Reason(query.lastError(), target_);
        Disconnect();
        return Refused(reason);
    }
    std::vector<UnitRecord> records;
    while (query.next()) {
        UnitRecord r;
        int c = 0;
        const auto next = [&] { return query.value(c++); };
        r.id = next().toString();
        r.record = next().toInt();
        r.time = QDateTime::fromString(next().toString(), Qt::ISODateWithMs);
        r.unit = next().toInt();
        r.result = Parse_Outcome(next().toString()).value_or(Outcome::Failed);
        const QVariant failure = next();
        r.failure = failure.isNull()
                        ? (r.result == Outcome::Ok ? std::optional(RunFailure::None) : std::nullopt)
                        : Parse_Run_Failure(failure.toString().toStdString());
        const QVariant block = next();
        r.block = block.isNull() ? std::nullopt : std::optional(block.toInt());
        r.retries = next().toInt();
        r.seconds = next().toDouble();
        r.reprogrammed = next().toBool();
        for (const TextField& field : Text_Fields()) {
            r.*field.member = next().toString();
        }
        records.push_back(std::move(r));
    }
    return records;
}

}  // namespace lcdprog::records

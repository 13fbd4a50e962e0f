#include "records/unit_record.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <QUuid>
#include <cmath>
#include <string>

#ifndef LCDPROG_VERSION
#define LCDPROG_VERSION "0"
#endif

namespace lcdprog::records {
namespace {

using platform::Refusal;
using platform::RefusalKind;

constexpr const char* kOutcomeNames[] = {"ok", "failed", "interrupted"};

QJsonValue Text_Or_Null(const QString& text) {
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

// One "key":value pair; a one-element array serialises the value with JSON's escapes.
QByteArray Member(const char* key, const QJsonValue& value) {
    const QByteArray json = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return '"' + QByteArray(key) + "\":" + json.mid(1, json.size() - 2);
}

Refusal Bad_Field(const char* key) {
    return {RefusalKind::Invalid,
            "campo \"" + std::string(key) + "\" mancante o non valido nella riga del registro"};
}

QString Text(const QJsonObject& o, const char* key) {
    return o.value(QLatin1String(key)).toString();
}

// A number that must be a whole one: JSON has only doubles.
std::optional<int> Whole(const QJsonObject& o, const char* key) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isDouble() || v.toDouble() != std::floor(v.toDouble())) {
        return std::nullopt;
    }
    return v.toInt();
}

}  // namespace

const std::vector<TextField>& Text_Fields() {
    static const std::vector<TextField> fields = {
        {"station", "la stazione", &UnitRecord::station},
        {"position", "la posizione", &UnitRecord::position},
        {"device", "il dispositivo", &UnitRecord::device},
        {"by_id", "il nome by-id", &UnitRecord::byId},
        {"project", "il progetto", &UnitRecord::project},
        {"image_sha256", "lo SHA-256", &UnitRecord::imageSha256},
        {"operator", "l'operatore", &UnitRecord::operatorName},
        {"work_order", "la commessa", &UnitRecord::workOrder},
        {"serial", "la matricola", &UnitRecord::serial},
        {"software", "la versione", &UnitRecord::software},
        {"text", "il testo", &UnitRecord::text},
    };
    return fields;
}

const char* Outcome_Name(Outcome outcome) {
    return kOutcomeNames[static_cast<int>(outcome)];
}

std::optional<Outcome> Parse_Outcome(const QString& word) {
    for (int i = 0; i < 3; ++i) {
        if (word == QLatin1String(kOutcomeNames[i])) {
            return static_cast<Outcome>(i);
        }
    }
    return std::nullopt;
}

QString Default_Station_Name() {
    return QSysInfo::machineHostName();
}

UnitRecord New_Record() {
    UnitRecord r;
    r.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    r.time = QDateTime::currentDateTimeUtc();
    r.station = Default_Station_Name();
    r.software = QStringLiteral(LCDPROG_VERSION);
    return r;
}

QString One_Line(const QString& text) {
    QString line = text;
    line.replace(QLatin1String("\r\n"), QLatin1String(" "));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return line;
}

QByteArray Record_Line(const UnitRecord& r) {
    // Milliseconds are as fine as the supervisor's clock; more digits would only be noise.
    const double seconds = std::round(r.seconds * 1000) / 1000;
    const QJsonValue failure =
        r.failure ? QJsonValue(QString::fromLatin1(Run_Failure_Name(*r.failure))) : QJsonValue();
    const QByteArray members[] = {
        Member("record", r.record),
        Member("id", r.id),
        Member("time", r.time.toUTC().toString(Qt::ISODateWithMs)),
        Member("station", r.station),
        Member("position", Text_Or_Null(r.position)),
        Member("unit", r.unit),
        Member("device", r.device),
        Member("by_id", Text_Or_Null(r.byId)),
        Member("project", r.project),
        Member("image_sha256", r.imageSha256),
        Member("result", QLatin1String(Outcome_Name(r.result))),
        Member("failure", r.failure == RunFailure::None ? QJsonValue() : failure),
        Member("block", r.block ? QJsonValue(*r.block) : QJsonValue()),
        Member("retries", r.retries),
        Member("seconds", seconds),
        Member("operator", Text_Or_Null(r.operatorName)),
        Member("order", Text_Or_Null(r.workOrder)),
        Member("serial", Text_Or_Null(r.serial)),
        Member("reprogrammed", r.reprogrammed),
        Member("software", r.software),
        Member("text", Text_Or_Null(One_Line(r.text))),
    };
    QByteArray line = "{";
    for (const QByteArray& member : members) {
        line += (line.size() > 1 ? "," : "") + member;
    }
    return line + "}\n";
}

platform::Result<UnitRecord> Parse_Record_Line(const QByteArray& line) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
    if (!doc.isObject()) {
        return Refusal{RefusalKind::Invalid, "riga del registro non leggibile: non è JSON"};
    }
    const QJsonObject o = doc.object();
    UnitRecord r;
    // Lines written before the record had a version have no "record" key.
    r.record = o.contains(QLatin1String("record")) ? Whole(o, "record").value_or(0) : 1;
    if (r.record < 1) {
        return Bad_Field("record");
    }
    r.time = QDateTime::fromString(Text(o, "time"), Qt::ISODateWithMs).toUTC();
    if (!r.time.isValid()) {
        return Bad_Field("time");
    }
    const std::optional<Outcome> result = Parse_Outcome(Text(o, "result"));
    if (!result) {
        return Bad_Field("result");
    }
    r.result = *result;
    r.unit = Whole(o, "unit").value_or(0);
    r.byId = Text(o, "by_id");
    r.imageSha256 = Text(o, "image_sha256");
    r.retries = Whole(o, "retries").value_or(0);
    r.seconds = o.value(QLatin1String("seconds")).toDouble();
    // A record that failed without saying how is still a failure, of a kind no one knows.
    r.failure = r.result == Outcome::Ok ? std::optional(RunFailure::None) : std::nullopt;
    if (const QJsonValue f = o.value(QLatin1String("failure")); !f.isNull() && !f.isUndefined()) {
        r.failure = Parse_Run_Failure(f.toString().toStdString());
        if (!r.failure || r.failure == RunFailure::None) {
            return Bad_Field("failure");
        }
    }
    if (r.record == 1) {
        // Version 1 named the device "port" and the text "error", and kept the failure kind
        // only in its later lines; its "blocks" did not say whether the run ever reached the
        // EEPROM, so it is not read.
        r.device = Text(o, "port");
        r.text = One_Line(Text(o, "error"));
        return r;
    }
    r.id = Text(o, "id");
    if (QUuid::fromString(r.id).isNull()) {
        return Bad_Field("id");
    }
    r.id = QUuid::fromString(r.id).toString(QUuid::WithoutBraces);
    r.block = Whole(o, "block");
    r.station = Text(o, "station");
    r.position = Text(o, "position");
    r.device = Text(o, "device");
    r.project = Text(o, "project");
    r.operatorName = Text(o, "operator");
    r.workOrder = Text(o, "order");
    r.serial = Text(o, "serial");
    r.reprogrammed = o.value(QLatin1String("reprogrammed")).toBool();
    r.software = Text(o, "software");
    r.text = Text(o, "text");
    return r;
}

platform::Result<> Check_Storable(const QString& what, const QString& text) {
    if (text.contains(QChar(0))) {
        return Refusal{
            RefusalKind::Invalid,
            what.toStdString() + " contiene un carattere NUL, che il database non può conservare"};
    }
    return platform::kDone;
}

platform::Result<> Check_Storable(const UnitRecord& r) {
    for (const TextField& field : Text_Fields()) {
        if (platform::Result<> ok = Check_Storable(QString::fromUtf8(field.what), r.*field.member);
            !ok) {
            return ok;
        }
    }
    return platform::kDone;
}

}  // namespace lcdprog::records

#include "records/conninfo.h"

#include <QStringList>
#include <algorithm>
#include <string>

#include "platform/qt/log.h"

namespace lcdprog::records {
namespace {

using platform::Refusal;
using platform::RefusalKind;

Refusal Wrong(const std::string& why) {
    return {RefusalKind::Invalid, "stringa di connessione non valida: " + why};
}

// Without these a server that stops answering would hold the uploader for the system's TCP
// timeouts (minutes), and the server's list of sessions would not say who is connected.
constexpr std::pair<const char*, const char*> kDefaults[] = {
    {"connect_timeout", "5"},
    {"tcp_user_timeout", "10000"},
    {"application_name", "lcdprog"},
};

bool Is_Blank(QChar c) {
    return c.isSpace();
}

// Keyword and value pairs as written, in order; a password is not refused here (Without_Password
// must see it to take it out).
platform::Result<std::vector<std::pair<QString, QString>>> Conninfo_Pairs(const QString& text) {
    if (text.startsWith(QLatin1String("postgresql://")) ||
        text.startsWith(QLatin1String("postgres://"))) {
        return Wrong(
            "la forma postgresql://... non è accettata: scrivere host=... dbname=... "
            "user=...");
    }
    std::vector<std::pair<QString, QString>> pairs;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (true) {
        while (i < n && Is_Blank(text[i])) {
            ++i;
        }
        if (i == n) {
            break;
        }
        QString key;
        while (i < n && !Is_Blank(text[i]) && text[i] != QLatin1Char('=')) {
            key += text[i++];
        }
        while (i < n && Is_Blank(text[i])) {
            ++i;
        }
        if (key.isEmpty()) {
            return Wrong("manca il nome prima di \"=\"");
        }
        if (i == n || text[i] != QLatin1Char('=')) {
            return Wrong("manca \"=\" dopo \"" + key.toStdString() + "\"");
        }
        ++i;
        while (i < n && Is_Blank(text[i])) {
            ++i;
        }
        QString value;
        const bool quoted = i < n && text[i] == QLatin1Char('\'');
        i += quoted ? 1 : 0;
        bool closed = !quoted;
        while (i < n) {
            if (text[i] == QLatin1Char('\\') && i + 1 < n) {
                value += text[i + 1];
                i += 2;
            } else if (quoted && text[i] == QLatin1Char('\'')) {
                closed = true;
                ++i;
                break;
            } else if (!quoted && Is_Blank(text[i])) {
                break;
            } else {
                value += text[i++];
            }
        }
        if (!closed) {
            return Wrong("manca l'apice di chiusura del valore di \"" + key.toStdString() + "\"");
        }
        pairs.emplace_back(key, value);
    }
    return pairs;
}

bool Is_Password(const QString& key) {
    return key == QLatin1String("password") || key == QLatin1String("sslpassword");
}

}  // namespace

platform::Result<ConnectionTarget> Parse_Conninfo(const QString& text) {
    // Every connection string the programs take passes here, so this is where it is logged.
    qCInfo(platform::Records_Log) << "connection string:" << Without_Password(text);
    const auto pairs = Conninfo_Pairs(text);
    if (!pairs) {
        qCWarning(platform::Records_Log) << "connection string refused:" << pairs.Text().c_str();
        return pairs.Why();
    }
    ConnectionTarget target;
    for (const auto& [key, value] : *pairs) {
        if (Is_Password(key)) {
            qCWarning(platform::Records_Log) << "connection string refused: it holds a password";
            return Refusal{RefusalKind::Invalid,
                           "la password non va nella stringa di connessione: metterla in "
                           "~/.pgpass o nella variabile PGPASSWORD"};
        }
        // The driver turns every ';' of the options into a blank before libpq reads them.
        if (value.contains(QLatin1Char(';'))) {
            return Wrong("il valore di \"" + key.toStdString() + "\" contiene \";\"");
        }
        bool isNumber = false;
        const int port = value.toInt(&isNumber);
        if (key == QLatin1String("host")) {
            target.host = value;
        } else if (key == QLatin1String("port") && isNumber) {
            target.port = port;
        } else if (key == QLatin1String("dbname")) {
            target.database = value;
        } else if (key == QLatin1String("user")) {
            target.user = value;
        } else {
            target.options.emplace_back(key, value);
        }
    }
    for (const auto& [key, value] : kDefaults) {
        const bool given = std::any_of(target.options.begin(), target.options.end(),
                                       [&](const auto& o) { return o.first == key; });
        if (!given) {
            target.options.emplace_back(QString::fromLatin1(key), QString::fromLatin1(value));
        }
    }
    return target;
}

QString Without_Password(const QString& conninfo) {
    const auto pairs = Conninfo_Pairs(conninfo);
    if (!pairs) {
        // What cannot be read cannot be cleaned either (a URI may hold "user:password@").
        return QStringLiteral("(connection string not shown: %1)")
            .arg(QString::fromStdString(pairs.Text()));
    }
    QStringList kept;
    for (const auto& [key, value] : *pairs) {
        if (Is_Password(key)) {
            kept << key + QStringLiteral("=(removed)");
            continue;
        }
        const bool plain = !value.isEmpty() && !value.contains(QLatin1Char(' ')) &&
                           !value.contains(QLatin1Char('\'')) && !value.contains(QLatin1Char('\\'));
        QString quoted = value;
        quoted.replace(QLatin1String("\\"), QLatin1String("\\\\"));
        quoted.replace(QLatin1String("'"), QLatin1String("\\'"));
        kept << key + QLatin1Char('=') +
                    (plain ? value : QLatin1Char('\'') + quoted + QLatin1Char('\''));
    }
    return kept.join(QLatin1Char(' '));
}

QString Connect_Options(const ConnectionTarget& target) {
    QStringList options;
    for (const auto& [key, value] : target.options) {
        QString quoted = value;
        quoted.replace(QLatin1String("\\"), QLatin1String("\\\\"));
        quoted.replace(QLatin1String("'"), QLatin1String("\\'"));
        options << key + QLatin1String("='") + quoted + QLatin1Char('\'');
    }
    return options.join(QLatin1Char(';'));
}

QString Target_Text(const ConnectionTarget& t) {
    const QString host = t.host.isEmpty() ? QStringLiteral("localhost") : t.host;
    QString text = (t.database.isEmpty() ? QStringLiteral("(database predefinito)") : t.database) +
                   QStringLiteral(" su ") + host;
    if (t.port != -1) {
        text += QLatin1Char(':') + QString::number(t.port);
    }
    if (!t.user.isEmpty()) {
        text += QStringLiteral(" come ") + t.user;
    }
    return text;
}

QString Target_Key(const ConnectionTarget& t) {
    return QStringLiteral("host=%1 port=%2 dbname=%3").arg(t.host).arg(t.port).arg(t.database);
}

}  // namespace lcdprog::records

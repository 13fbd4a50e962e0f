#include "pg_server.h"

#include <pwd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>

namespace lcdprog::records {
namespace {

// The newest PostgreSQL Debian installed.
QString Find_Bin() {
    const QStringList versions =
        QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QString best;
    for (const QString& v : versions) {
        if (QFile::exists(QStringLiteral("/usr/lib/postgresql/%1/bin/pg_ctl").arg(v)) &&
            (best.isEmpty() || v.toInt() > best.toInt())) {
            best = v;
        }
    }
    return best.isEmpty() ? QString() : QStringLiteral("/usr/lib/postgresql/%1/bin/").arg(best);
}

bool Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// cp -a: as root the copy stays nobody's, and the data folder keeps the mode the server demands.
bool Copy(const QString& from, const QString& to) {
    return QProcess::execute(QStringLiteral("cp"), {"-a", from, to}) == 0;
}

}  // namespace

QString PgServer::Run(const QString& tool, const QStringList& arguments) const {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (::geteuid() == 0) {
        process.start(QStringLiteral("setpriv"), QStringList{"--reuid=nobody", "--regid=nogroup",
                                                             "--clear-groups", bin_ + tool} +
                                                     arguments);
    } else {
        process.start(bin_ + tool, arguments);
    }
    // pg_ctl -w returns once the server answers (or gave up after its own 60 s).
    process.waitForFinished(120000);
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0) {
        return {};
    }
    return tool + QStringLiteral(" failed: ") + QString::fromLocal8Bit(process.readAll());
}

QString PgServer::Create() {
    bin_ = Find_Bin();
    if (bin_.isEmpty() || !dir_.isValid()) {
        return QStringLiteral("no PostgreSQL under /usr/lib/postgresql (package postgresql)");
    }
    const QString passwordFile = dir_.filePath(QStringLiteral("initdb-password"));
    if (!Write(passwordFile, kPassword) ||
        !Write(Password_File(), QByteArray("*:*:*:") + kUser + ':' + kPassword + '\n') ||
        !QFile::setPermissions(Password_File(), QFile::ReadOwner | QFile::WriteOwner)) {
        return QStringLiteral("cannot write into ") + dir_.path();
    }
    if (::geteuid() == 0) {
        const passwd* nobody = ::getpwnam("nobody");
        for (const QString& path : {dir_.path(), passwordFile}) {
            if (nobody == nullptr ||
                ::chown(QFile::encodeName(path).constData(), nobody->pw_uid, nobody->pw_gid) != 0) {
                return QStringLiteral("cannot give %1 to nobody").arg(path);
            }
        }
    }
    // initdb takes two seconds and more, most of this program's run, and makes the same cluster
    // every time: the first run keeps it beside this program (one per PostgreSQL version and
    // set of options), later runs start a copy. The kept one is never started itself. Password
    // authentication stays on: a test checks a wrong password.
    const QStringList options = {"-U", kUser, "-A", "scram-sha-256", "-E", "UTF8", "--locale=C"};
    const QByteArray recipe = (bin_ + options.join(' ') + kPassword).toUtf8();
    const QString kept =
        QCoreApplication::applicationDirPath() + "/pg-cluster-" +
        QCryptographicHash::hash(recipe, QCryptographicHash::Sha1).toHex().left(12);
    const QString data = dir_.filePath(QStringLiteral("data"));
    if (QFile::exists(kept + "/PG_VERSION")) {
        return Copy(kept, data) ? Start() : QStringLiteral("cannot copy ") + kept;
    }
    const QString failed =
        Run(QStringLiteral("initdb"),
            QStringList{"-D", data, "--no-sync", "--pwfile=" + passwordFile} + options);
    if (!failed.isEmpty()) {
        return failed;
    }
    // Whole or not at all, even with another run doing the same.
    const QString part = kept + ".part-" + QString::number(QCoreApplication::applicationPid());
    if (!Copy(data, part) || !QDir().rename(part, kept)) {
        QDir(part).removeRecursively();
    }
    return Start();
}

QString PgServer::Start() {
    return Run(
        QStringLiteral("pg_ctl"),
        {"-D", dir_.filePath(QStringLiteral("data")), "-l", dir_.filePath("server.log"), "-s", "-w",
         "-o", "-c listen_addresses='' -c fsync=off -c unix_socket_directories=" + dir_.path(),
         "start"});
}

QString PgServer::Stop() {
    return Run(QStringLiteral("pg_ctl"),
               {"-D", dir_.filePath(QStringLiteral("data")), "-s", "-w", "-m", "fast", "stop"});
}

QString PgServer::Conninfo(const QString& database) const {
    return QStringLiteral("host=%1 dbname=%2 user=%3").arg(dir_.path(), database, kUser);
}

}  // namespace lcdprog::records

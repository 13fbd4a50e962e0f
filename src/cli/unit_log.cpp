#include "cli/unit_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>
#include <cerrno>

#include "cli/write_all.h"
#include "platform/system_reason.h"

namespace lcdprog::cli {

QByteArray Json_Line(const QJsonObject& object) {
    static const char* const kOrder[] = {
        "event", "time",    "port",   "by_id",   "unit",    "image_sha256", "result",
        "block", "attempt", "blocks", "retries", "seconds", "interrupted",  "error"};
    QStringList keys;
    for (const char* key : kOrder) {
        if (object.contains(QLatin1String(key))) {
            keys << QString::fromLatin1(key);
        }
    }
    for (const QString& key : object.keys()) {
        if (!keys.contains(key)) {
            keys << key;
        }
    }
    QByteArray line = "{";
    for (const QString& key : keys) {
        if (line.size() > 1) {
            line += ',';
        }
        // A one-element array serialises the value with the right escapes; our keys need none.
        const QByteArray value =
            QJsonDocument(QJsonArray{object.value(key)}).toJson(QJsonDocument::Compact);
        line += '"' + key.toLatin1() + "\":" + value.mid(1, value.size() - 2);
    }
    return line + "}\n";
}

UnitLog::~UnitLog() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool UnitLog::Open(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0) {
        error = "impossibile aprire il registro " + path + ": " + platform::System_Reason(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "il registro " + path + " non è un file normale";
        ::close(fd);
        return false;
    }
    char last = '\n';
    if (st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n') {
        if (!Write_All(fd, "\n", 1)) {
            error =
                "impossibile scrivere nel registro " + path + ": " + platform::System_Reason(errno);
            ::close(fd);
            return false;
        }
    }
    fd_ = fd;
    path_ = path;
    return true;
}

bool UnitLog::Append(const QJsonObject& record, std::string& error) {
    if (fd_ < 0) {
        return true;
    }
    const QByteArray line = Json_Line(record);
    if (!Write_All(fd_, line.constData(), static_cast<std::size_t>(line.size())) ||
        ::fdatasync(fd_) != 0) {
        error =
            "impossibile scrivere nel registro " + path_ + ": " + platform::System_Reason(errno);
        return false;
    }
    return true;
}

}  // namespace lcdprog::cli

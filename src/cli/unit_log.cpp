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
        "event", "time",    "port",   "by_id",   "unit",    "image_sha256", "result", "failure",
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

platform::Result<> UnitLog::Open(const std::string& path) {
    using platform::Refusal;
    using platform::RefusalKind;
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0) {
        return Refusal{RefusalKind::Unwritable, "impossibile aprire il registro " + path + ": " +
                                                    platform::System_Reason(errno)};
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Refusal{RefusalKind::NotRegular, "il registro " + path + " non è un file normale"};
    }
    char last = '\n';
    if (st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n') {
        if (!Write_All(fd, "\n", 1)) {
            const int error = errno;
            ::close(fd);
            return Refusal{RefusalKind::Unwritable, "impossibile scrivere nel registro " + path +
                                                        ": " + platform::System_Reason(error)};
        }
    }
    fd_ = fd;
    path_ = path;
    return {};
}

platform::Result<> UnitLog::Append(const QJsonObject& record) {
    if (fd_ < 0) {
        return {};
    }
    const QByteArray line = Json_Line(record);
    if (!Write_All(fd_, line.constData(), static_cast<std::size_t>(line.size())) ||
        ::fdatasync(fd_) != 0) {
        return platform::Refusal{
            platform::RefusalKind::Unwritable,
            "impossibile scrivere nel registro " + path_ + ": " + platform::System_Reason(errno)};
    }
    return {};
}

}  // namespace lcdprog::cli

#include "records/record_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <cerrno>
#include <string>

#include "platform/system_reason.h"

namespace lcdprog::records {
namespace {

using platform::Refusal;
using platform::RefusalKind;

// Held for one step; released however the step ends.
class FileLock {
  public:
    FileLock(int fd, int operation) : fd_(fd) {
        while (::flock(fd_, operation) != 0 && errno == EINTR) {
        }
    }
    ~FileLock() { ::flock(fd_, LOCK_UN); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

  private:
    int fd_;
};

Refusal System_Refusal(RefusalKind kind, const char* doing, const QString& path) {
    return {kind,
            std::string(doing) + " " + path.toStdString() + ": " + platform::System_Reason(errno)};
}

// A file that holds a small piece of state: the old content or the new, never half of each.
platform::Result<> Replace_File(const QString& path, const QByteArray& content) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() ||
        !file.commit()) {
        return System_Refusal(RefusalKind::Unwritable, "impossibile scrivere", path);
    }
    return platform::kDone;
}

// The highest unit number the file's own lines give this station and project: where numbering
// goes on when the counter beside the file is missing (deleted, or the file is older than it).
int Highest_Unit_In(const QString& path, const QString& station, const QString& project) {
    QFile file(path);
    int highest = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        return 0;
    }
    while (!file.atEnd()) {
        const platform::Result<UnitRecord> r = Parse_Record_Line(file.readLine());
        if (r && r->station == station && r->project == project && r->unit > highest) {
            highest = r->unit;
        }
    }
    return highest;
}

Refusal Not_Open() {
    return {RefusalKind::Unwritable, "il registro non è aperto"};
}

}  // namespace

platform::Result<> Open_To_Read(QFile& file) {
    const int fd = ::open(QFile::encodeName(file.fileName()).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        return System_Refusal(RefusalKind::Unreadable, "impossibile leggere", file.fileName());
    }
    return platform::kDone;
}

QString Sent_Mark_Path(const QString& recordPath) {
    return recordPath + QStringLiteral(".sent");
}

QString Unit_Counter_Path(const QString& recordPath) {
    return recordPath + QStringLiteral(".units");
}

RecordFile::~RecordFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

platform::Result<> RecordFile::Open(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    const int fd =
        ::open(name.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0) {
        return System_Refusal(RefusalKind::Unwritable, "impossibile aprire il registro", path);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Refusal{RefusalKind::NotRegular,
                       "il registro " + path.toStdString() + " non è un file normale"};
    }
    fd_ = fd;
    path_ = path;
    return platform::kDone;
}

platform::Result<> RecordFile::Append(const UnitRecord& record) {
    if (fd_ < 0) {
        return Not_Open();
    }
    FileLock lock(fd_, LOCK_EX);
    QByteArray line = Record_Line(record);
    struct stat st {};
    char last = '\n';
    if (::fstat(fd_, &st) == 0 && st.st_size > 0 && ::pread(fd_, &last, 1, st.st_size - 1) == 1 &&
        last != '\n') {
        line.prepend('\n');
    }
    QFile file;
    // Unbuffered: QFile's write loop (short writes, EINTR) goes straight to the descriptor.
    if (!file.open(fd_, QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered,
                   QFileDevice::DontCloseHandle) ||
        file.write(line) != line.size() || ::fdatasync(fd_) != 0) {
        return System_Refusal(RefusalKind::Unwritable, "impossibile scrivere nel registro", path_);
    }
    return platform::kDone;
}

platform::Result<int> RecordFile::Take_Unit(const QString& station, const QString& project) {
    if (fd_ < 0) {
        return Not_Open();
    }
    FileLock lock(fd_, LOCK_EX);
    const QString counterPath = Unit_Counter_Path(path_);
    QFile counter(counterPath);
    QJsonObject stations;
    if (counter.open(QIODevice::ReadOnly)) {
        stations = QJsonDocument::fromJson(counter.readAll()).object();
    }
    QJsonObject projects = stations.value(station).toObject();
    const int last = projects.contains(project) ? projects.value(project).toInt()
                                                : Highest_Unit_In(path_, station, project);
    projects.insert(project, last + 1);
    stations.insert(station, projects);
    if (platform::Result<> written =
            Replace_File(counterPath, QJsonDocument(stations).toJson(QJsonDocument::Compact));
        !written) {
        return written.Why();
    }
    return last + 1;
}

SentMark Read_Sent_Mark(const QString& recordPath) {
    QFile file(Sent_Mark_Path(recordPath));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QJsonObject o = QJsonDocument::fromJson(file.readAll()).object();
    return {static_cast<qint64>(o.value(QLatin1String("offset")).toDouble()),
            o.value(QLatin1String("target")).toString()};
}

platform::Result<> Write_Sent_Mark(const QString& recordPath, const SentMark& mark) {
    const QJsonObject o{{"offset", static_cast<double>(mark.offset)}, {"target", mark.target}};
    return Replace_File(Sent_Mark_Path(recordPath),
                        QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n');
}

platform::Result<Queue> Read_Queue(const QString& recordPath, qint64 from, qint64 maxBytes) {
    QFile file(recordPath);
    // A station that has not programmed a unit yet has no file: nothing waits.
    if (!file.exists()) {
        return Queue{};
    }
    if (platform::Result<> opened = Open_To_Read(file); !opened) {
        return opened.Why();
    }
    FileLock lock(file.handle(), LOCK_SH);
    Queue queue;
    const qint64 size = file.size();
    char before = '\n';
    if (from > 0 &&
        (from > size || !file.seek(from - 1) || !file.getChar(&before) || before != '\n')) {
        from = 0;
    }
    queue.from = from;
    file.seek(from);
    qint64 at = from;
    while (at < size) {
        if (at - from >= maxBytes) {
            queue.more = true;
            break;
        }
        QByteArray line = file.readLine();
        if (line.isEmpty()) {
            break;
        }
        if (!line.endsWith('\n')) {
            queue.cutAt = at;
            break;
        }
        const qint64 start = at;
        at += line.size();
        line.chop(1);
        queue.lines.push_back({start, at, std::move(line)});
    }
    return queue;
}

}  // namespace lcdprog::records

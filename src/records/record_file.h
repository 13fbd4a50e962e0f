#pragma once

// The station's own record file (JSON lines, one per unit and attempt). A record lands here,
// written and flushed, before anything else happens to it; the plant database is fed from this
// file, so while the server is away the file is the queue. Beside it:
//   FILE.sent   how far the database has confirmed it (a byte offset, replaced atomically)
//   FILE.units  the last unit number given out, per station and project
// Several processes may append to one file (lcdprog-cli and the station on one PC): every step
// that changes the file or the unit numbers holds an exclusive flock() on the record file, which
// is never replaced, so the lock always means the same file. QtCore and POSIX only.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <optional>
#include <vector>

#include "platform/result.h"
#include "records/unit_record.h"

namespace lcdprog::records {

class RecordFile {
  public:
    RecordFile() = default;
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Opens the file for appending, creating it if needed.
    platform::Result<> Open(const QString& path);
    // One write() of the whole line, then fdatasync(): a crash leaves the line whole or absent.
    // A last line cut off before (power lost in another process's write) is ended first, so the
    // record starts on a line of its own and the cut line stays as it was.
    platform::Result<> Append(const UnitRecord& record);
    // The next unit number for this station and project (1 for the first), kept in FILE.units.
    // Two processes never get the same number.
    platform::Result<int> Take_Unit(const QString& station, const QString& project);

    const QString& Path() const { return path_; }

  private:
    int fd_ = -1;
    QString path_;
};

// Opens the file named by `file` for reading; the refusal is "impossibile leggere PATH: " and
// the system's reason in the program's words.
platform::Result<> Open_To_Read(QFile& file);

QString Sent_Mark_Path(const QString& recordPath);
QString Unit_Counter_Path(const QString& recordPath);

// How far the file has gone up, and to which database (its Target_Name): a mark for another
// database, or none, means nothing has.
struct SentMark {
    qint64 offset = 0;  // just past the '\n' of the last line the server confirmed
    QString target;
};
// No mark, or one that cannot be read: offset 0 (sending again is harmless: the UUID is the key).
SentMark Read_Sent_Mark(const QString& recordPath);
// Written to a new file that then replaces the old one: a crash leaves the old mark or the new.
platform::Result<> Write_Sent_Mark(const QString& recordPath, const SentMark& mark);

struct QueuedLine {
    qint64 start = 0;
    qint64 end = 0;  // just past its '\n': the mark once the server has it
    QByteArray text;
};

struct Queue {
    qint64 from = 0;  // where reading began: the mark, or 0 when the mark did not fit the file
    std::vector<QueuedLine> lines;  // complete lines only
    // Where a last line without its '\n' begins: a write cut off by a crash. It is never sent.
    std::optional<qint64> cutAt;
    bool more = false;  // stopped at `maxBytes`: what follows waits for the next read
};

// The complete lines after `from`, read under a shared lock (so a line being appended is never
// taken for a cut one). A mark past the end of the file, or not at the start of a line (the file
// was replaced), starts again from the beginning. No file is an empty queue.
platform::Result<Queue> Read_Queue(const QString& recordPath, qint64 from,
                                   qint64 maxBytes = qint64(4) << 20);

}  // namespace lcdprog::records

#pragma once

// Sends what waits in a station's record file up to the plant database: every complete line
// after the sent mark, in order, each insert confirmed before the mark moves past it. A record
// the server already has is stored once (its UUID is the key), so a pass cut short by a crash or
// a lost connection is simply run again. The file itself is only read: programming appends to
// it whatever the database does.
//
// Programming must never wait for the database, and a QSqlDatabase connection belongs to one
// thread: the station and lcdprog-cli write run the passes in a thread of their own
// (BackgroundUploader), which also bounds every wait by connect_timeout and tcp_user_timeout.
// QtCore, QtSql.

#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>

#include "records/conninfo.h"
#include "records/plant_database.h"

namespace lcdprog::records {

struct UploadStatus {
    bool connected = false;
    int pending = 0;  // complete lines after the mark: records the server does not have yet
    int sent = 0;     // records the server confirmed in this pass
    QString reason;   // why the server is not reachable (Italian), when not connected
    // What the pass left in the local file only, each said once: a cut last line, a line that is
    // not a record, a record the server refused, version-1 lines (they have no UUID).
    QStringList notices;
};

// "Database: collegato", "Database: collegato, 3 record in attesa",
// "Database: non raggiungibile (password errata per l'utente linea1), 3 record in attesa".
QString Status_Text(const UploadStatus& status);

class Uploader {
  public:
    Uploader(QString recordPath, ConnectionTarget target, QString driver = QStringLiteral("QPSQL"));

    // One pass: connects when not connected, then sends everything after the mark. `afterEach`
    // is told the count after every record the server confirmed.
    UploadStatus Send_Pending(const std::function<void(int sent)>& afterEach = {});

  private:
    int Count_Pending(qint64 from) const;

    const QString recordPath_;
    const ConnectionTarget target_;
    PlantDatabase database_;
    bool schemaChecked_ = false;
    qint64 cutReported_ = -1;  // the cut line already reported (it stays until the next append)
};

// The passes in a thread of their own: one soon after each Send_Soon(), again every 10 s while
// the server is not reachable and every 30 s otherwise (another process may append to the same
// file). Status_Changed arrives in the thread that made this object.
class BackgroundUploader : public QObject {
    Q_OBJECT
  public:
    BackgroundUploader(QString recordPath, ConnectionTarget target, QObject* parent = nullptr);
    // Waits for a pass under way (bounded by the connection's timeouts).
    ~BackgroundUploader() override;

    // After each record appended. Calls made while a pass is due count as one.
    void Send_Soon();

  signals:
    void Status_Changed(const lcdprog::records::UploadStatus& status);

  private:
    QThread thread_;
    QObject* worker_;  // lives in thread_, with timer_
    QTimer* timer_;
    std::unique_ptr<Uploader> uploader_;  // made, used and destroyed in thread_
    std::atomic<bool> passDue_ = false;
};

}  // namespace lcdprog::records

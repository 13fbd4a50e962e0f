#include "records/uploader.h"

#include <QTimer>
#include <utility>

#include "platform/qt/log.h"
#include "records/record_file.h"

namespace lcdprog::records {
namespace {

// A backlog goes up in one pass, but a crash in the middle of it resends at most this many.
constexpr int kMarkEvery = 100;
constexpr int kRetryMs = 10000;
constexpr int kIdleMs = 30000;

QString Kept_Locally(const QString& what) {
    return what + QStringLiteral(": resta solo nel registro locale");
}

}  // namespace

QString Status_Text(const UploadStatus& s) {
    QString text = s.connected ? QStringLiteral("Database: collegato")
                               : QStringLiteral("Database: non raggiungibile (%1)").arg(s.reason);
    if (s.pending > 0) {
        text += QStringLiteral(", %1 record in attesa").arg(s.pending);
    }
    return text;
}

Uploader::Uploader(QString recordPath, ConnectionTarget target, QString driver)
    : recordPath_(std::move(recordPath)),
      target_(target),
      database_(std::move(target), std::move(driver)) {}

int Uploader::Count_Pending(qint64 from) const {
    int count = 0;
    for (bool more = true; more;) {
        const platform::Result<Queue> queue = Read_Queue(recordPath_, from);
        if (!queue) {
            break;
        }
        count += static_cast<int>(queue->lines.size());
        from = queue->lines.empty() ? from : queue->lines.back().end;
        more = queue->more;
    }
    return count;
}

UploadStatus Uploader::Send_Pending(const std::function<void(int sent)>& afterEach) {
    UploadStatus status;
    SentMark mark = Read_Sent_Mark(recordPath_);
    if (mark.target != Target_Key(target_)) {
        mark = {0, Target_Key(target_)};
    }
    platform::Result<> ready = database_.Connect();
    if (ready && !schemaChecked_) {
        ready = database_.Check_Schema();
        schemaChecked_ = ready.Ok();
    }
    qint64 offset = mark.offset;
    int oldLines = 0;
    int sinceMark = 0;
    const auto save_mark = [&] {
        if (offset == mark.offset) {
            return;
        }
        mark.offset = offset;
        if (platform::Result<> written = Write_Sent_Mark(recordPath_, mark); !written) {
            status.notices << QString::fromStdString(written.Why().text) +
                                  QStringLiteral(": i record già inviati lo saranno di nuovo");
        }
        sinceMark = 0;
    };
    for (bool more = ready.Ok(); more;) {
        const platform::Result<Queue> queue = Read_Queue(recordPath_, offset);
        if (!queue) {
            status.notices << QString::fromStdString(queue.Why().text);
            break;
        }
        offset = queue->from;
        more = queue->more;
        if (queue->cutAt && *queue->cutAt != cutReported_) {
            cutReported_ = *queue->cutAt;
            status.notices << Kept_Locally(
                QStringLiteral("il registro finisce con una riga incompleta (dal byte %1), "
                               "non inviata")
                    .arg(*queue->cutAt));
        }
        for (const QueuedLine& line : queue->lines) {
            if (!line.text.trimmed().isEmpty()) {
                const platform::Result<UnitRecord> record = Parse_Record_Line(line.text);
                platform::Result<> storable =
                    record ? Check_Storable(*record) : platform::Result<>(record.Why());
                if (record && storable && record->record >= 2) {
                    const InsertResult inserted = database_.Insert(*record);
                    if (inserted.stored == Stored::Lost) {
                        ready = platform::Refusal{platform::RefusalKind::Unreadable,
                                                  inserted.reason.toStdString()};
                        schemaChecked_ = false;
                        more = false;
                        break;
                    }
                    if (inserted.stored == Stored::Refused) {
                        storable = platform::Refusal{platform::RefusalKind::Invalid,
                                                     inserted.reason.toStdString()};
                    } else {
                        ++status.sent;
                        if (afterEach) {
                            afterEach(status.sent);
                        }
                    }
                }
                if (record && record->record < 2) {
                    ++oldLines;
                } else if (!storable) {
                    status.notices << Kept_Locally(
                        QStringLiteral("la riga dal byte %1 non è stata inviata (%2)")
                            .arg(line.start)
                            .arg(QString::fromStdString(storable.Why().text)));
                }
            }
            offset = line.end;
            if (++sinceMark == kMarkEvery) {
                save_mark();
            }
        }
    }
    save_mark();
    if (oldLines > 0) {
        status.notices << Kept_Locally(
            QStringLiteral("%1 righe della versione 1, senza UUID").arg(oldLines));
    }
    status.connected = ready.Ok();
    status.reason = QString::fromStdString(ready.Text());
    status.pending = status.connected ? 0 : Count_Pending(offset);
    // A pass with nothing to send says nothing: the uploader wakes every half minute.
    if (status.sent > 0 || !status.connected) {
        qCInfo(platform::Records_Log)
            << "upload of" << recordPath_ << ":" << status.sent << "records sent," << status.pending
            << "pending" << (status.connected ? "" : qPrintable(status.reason));
    }
    for (const QString& notice : status.notices) {
        qCWarning(platform::Records_Log) << "upload of" << recordPath_ << ":" << notice;
    }
    return status;
}

BackgroundUploader::BackgroundUploader(QString recordPath, ConnectionTarget target, QObject* parent)
    : QObject(parent), worker_(new QObject), timer_(new QTimer(worker_)) {
    timer_->setSingleShot(true);
    worker_->moveToThread(&thread_);
    const auto pass = [this, recordPath, target] {
        passDue_ = false;
        if (!uploader_) {
            uploader_ = std::make_unique<Uploader>(recordPath, target);
        }
        const UploadStatus status = uploader_->Send_Pending();
        timer_->start(status.connected ? kIdleMs : kRetryMs);
        QMetaObject::invokeMethod(this, [this, status] { emit Status_Changed(status); });
    };
    connect(timer_, &QTimer::timeout, worker_, pass);
    thread_.setObjectName(QStringLiteral("lcdprog.records.upload"));
    thread_.start();
    Send_Soon();
}

BackgroundUploader::~BackgroundUploader() {
    // The uploader's connection and the timer belong to the worker's thread: closed there.
    QMetaObject::invokeMethod(
        worker_,
        [this] {
            timer_->stop();
            uploader_.reset();
        },
        Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
    delete worker_;
}

void BackgroundUploader::Send_Soon() {
    if (!passDue_.exchange(true)) {
        QMetaObject::invokeMethod(timer_, [this] { timer_->start(0); });
    }
}

}  // namespace lcdprog::records

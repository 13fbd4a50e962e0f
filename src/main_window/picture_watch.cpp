#include "main_window/picture_watch.h"

#include <QFileInfo>
#include <filesystem>
#include <set>

#include "platform/posix_file_service.h"

namespace lcdprog {
namespace {

// A slot holds its path lower-cased; the file is looked at under the name it has on disk.
platform::FileStamp Stamp(const std::string& path) {
    const std::string onDisk = platform::PosixFileService::Resolve(path);
    return platform::Stamp_Of(onDisk.empty() ? path : onDisk);
}

}  // namespace

PictureWatch::PictureWatch(QObject* parent) : QObject(parent) {
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, [this] { Look(); });
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { Look(); });
}

void PictureWatch::Follow(const std::vector<std::string>& paths) {
    stamps_.clear();
    std::set<QString> wanted;
    for (const std::string& path : paths) {
        stamps_[path] = Stamp(path);
        const std::string onDisk = platform::PosixFileService::Resolve(path);
        const std::string file = onDisk.empty() ? path : onDisk;
        wanted.insert(QString::fromStdString(file));
        wanted.insert(QString::fromStdString(std::filesystem::path(file).parent_path().string()));
    }
    QStringList gone;
    for (const QString& path : watcher_.files() + watcher_.directories()) {
        if (wanted.count(path) == 0) {
            gone << path;
        }
    }
    if (!gone.isEmpty()) {
        watcher_.removePaths(gone);
    }
    // Only what is there can be watched; a file that is away is noticed through its folder.
    QStringList added;
    const QStringList watched = watcher_.files() + watcher_.directories();
    for (const QString& path : wanted) {
        if (!watched.contains(path) && QFileInfo::exists(path)) {
            added << path;
        }
    }
    if (!added.isEmpty()) {
        watcher_.addPaths(added);
    }
}

void PictureWatch::Look() {
    QStringList different;
    std::vector<std::string> paths;
    for (auto& [path, stamp] : stamps_) {
        paths.push_back(path);
        const platform::FileStamp now = Stamp(path);
        if (now != stamp) {
            stamp = now;
            different << QString::fromStdString(path);
        }
    }
    // A file replaced by a rename is no longer the one watched: follow the new one.
    const std::map<std::string, platform::FileStamp> kept = stamps_;
    Follow(paths);
    stamps_ = kept;
    if (!different.isEmpty()) {
        emit changed(different);
    }
}

}  // namespace lcdprog

#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>
#include <map>
#include <string>
#include <vector>

#include "platform/staged_files.h"

namespace lcdprog {

// Follows the picture files the slots show, so that a change made on disk (by another program,
// by a copy over the file) reaches every box, the preview and the unsaved mark at once instead
// of waiting for the next run to find it. Each file is followed by name, with its folder: an
// editor that saves by writing a new file and renaming it over the old one replaces the very
// file being watched, and the folder's change is what tells that it is back.
class PictureWatch final : public QObject {
    Q_OBJECT
  public:
    explicit PictureWatch(QObject* parent = nullptr);

    // These files from now on (as the slots name them, lower-cased or not), each as it is now.
    void Follow(const std::vector<std::string>& paths);

  signals:
    // Files among those followed that are not as they were (changed, gone, or back), each named
    // as Follow() was given it.
    void changed(const QStringList& paths);

  private:
    void Look();

    QFileSystemWatcher watcher_;
    std::map<std::string, platform::FileStamp> stamps_;
};

}  // namespace lcdprog

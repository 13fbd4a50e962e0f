#pragma once

// The station's lock over the main window: its pictures and glyphs, its drops and every menu
// command but those that only show (the communication and view menus) are disabled and covered
// by a notice, so that a shift cannot change the job by mistake. Unlocking puts back exactly what
// was enabled before.

#include <QPointer>
#include <vector>

class QAction;
class QLabel;
class QMainWindow;
class QWidget;

namespace lcdprog {

class CoverLock {
  public:
    explicit CoverLock(QMainWindow* window);
    ~CoverLock();
    CoverLock(const CoverLock&) = delete;
    CoverLock& operator=(const CoverLock&) = delete;

    void Lock();
    void Unlock();
    bool Locked() const { return locked_; }

  private:
    QPointer<QMainWindow> window_;
    bool locked_ = false;
    bool acceptedDrops_ = false;
    std::vector<QPointer<QAction>> disabledActions_;
    QPointer<QWidget> disabledCentral_;
    QPointer<QLabel> notice_;
};

}  // namespace lcdprog

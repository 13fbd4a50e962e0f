#include "station/cover_lock.h"

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include "platform/qt/accessibility.h"

namespace lcdprog {
namespace {

// Menus whose commands change nothing in the project: the station itself, the serial window and
// the preview stay at hand.
bool Only_Shows(const QMenu* menu) {
    return menu->objectName() == QLatin1String("mnu_Comunicazione") ||
           menu->objectName() == QLatin1String("mnu_Visualizza");
}

void Disable_Menu(QMenu* menu, std::vector<QPointer<QAction>>& disabled) {
    for (QAction* action : menu->actions()) {
        if (action->menu() != nullptr) {
            Disable_Menu(action->menu(), disabled);
        }
        // Disabled one by one: a disabled menu would still let its shortcuts (Ctrl+O, Ctrl+S)
        // through.
        if (action->isEnabled() && !action->isSeparator()) {
            action->setEnabled(false);
            disabled.emplace_back(action);
        }
    }
}

}  // namespace

CoverLock::CoverLock(QMainWindow* window) : window_(window) {}

CoverLock::~CoverLock() {
    Unlock();
}

void CoverLock::Lock() {
    if (locked_ || window_ == nullptr) {
        return;
    }
    locked_ = true;
    for (QAction* top : window_->menuBar()->actions()) {
        if (top->menu() != nullptr && !Only_Shows(top->menu())) {
            Disable_Menu(top->menu(), disabledActions_);
        }
    }
    acceptedDrops_ = window_->acceptDrops();
    window_->setAcceptDrops(false);
    if (QWidget* central = window_->centralWidget(); central != nullptr && central->isEnabled()) {
        central->setEnabled(false);
        disabledCentral_ = central;
    }
    const QString text = QStringLiteral("Progetto bloccato dalla stazione di produzione");
    notice_ = new QLabel(text, window_);
    platform::Name_Control(notice_, QStringLiteral("lbl_Bloccato"), text, QString());
    notice_->setAlignment(Qt::AlignCenter);
    notice_->setWordWrap(true);
    notice_->setStyleSheet(
        QStringLiteral("background: rgba(255, 255, 255, 200); color: #202020; "
                       "font-size: 20pt; font-weight: bold;"));
    const QWidget* central = window_->centralWidget();
    notice_->setGeometry(central != nullptr ? central->geometry() : window_->rect());
    notice_->show();
    notice_->raise();
}

void CoverLock::Unlock() {
    if (!locked_) {
        return;
    }
    locked_ = false;
    for (const QPointer<QAction>& action : disabledActions_) {
        if (action != nullptr) {
            action->setEnabled(true);
        }
    }
    disabledActions_.clear();
    if (disabledCentral_ != nullptr) {
        disabledCentral_->setEnabled(true);
        disabledCentral_ = nullptr;
    }
    if (window_ != nullptr) {
        window_->setAcceptDrops(acceptedDrops_);
    }
    delete notice_.data();
}

}  // namespace lcdprog

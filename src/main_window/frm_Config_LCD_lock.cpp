// The production station's lock over this window: its pictures and glyphs, its drops and every
// menu command but those that only show (the communication and view menus: the station itself,
// the serial window and the preview stay at hand) are disabled and covered by a notice.

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

#include "main_window/frm_Config_LCD.h"
#include "platform/qt/accessibility.h"

namespace lcdprog {

struct frm_Config_LCD::ProjectLockState {
    std::function<void()> closeRefused;
    bool acceptedDrops = false;
    std::vector<QPointer<QAction>> disabledActions;
    QPointer<QWidget> disabledCentral;
    QPointer<QLabel> notice;
};

namespace {

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

void frm_Config_LCD::LockProject(std::function<void()> closeRefused) {
    if (lock_) {
        lock_->closeRefused = std::move(closeRefused);
        return;
    }
    lock_ = std::make_shared<ProjectLockState>();
    lock_->closeRefused = std::move(closeRefused);
    for (QAction* top : menuBar()->actions()) {
        QMenu* menu = top->menu();
        if (menu != nullptr && menu != mnu_Comunicazione && menu != mnu_Visualizza) {
            Disable_Menu(menu, lock_->disabledActions);
        }
    }
    lock_->acceptedDrops = acceptDrops();
    setAcceptDrops(false);
    if (QWidget* central = centralWidget(); central != nullptr && central->isEnabled()) {
        central->setEnabled(false);
        lock_->disabledCentral = central;
    }
    const QString text = QStringLiteral("Progetto bloccato dalla stazione di produzione");
    auto* notice = new QLabel(text, this);
    platform::Name_Control(notice, QStringLiteral("lbl_Bloccato"), text, QString());
    notice->setAlignment(Qt::AlignCenter);
    notice->setWordWrap(true);
    notice->setStyleSheet(
        QStringLiteral("background: rgba(255, 255, 255, 200); color: #202020; "
                       "font-size: 20pt; font-weight: bold;"));
    notice->setGeometry(centralWidget() != nullptr ? centralWidget()->geometry() : rect());
    notice->show();
    notice->raise();
    lock_->notice = notice;
}

void frm_Config_LCD::UnlockProject() {
    if (!lock_) {
        return;
    }
    for (const QPointer<QAction>& action : lock_->disabledActions) {
        if (action != nullptr) {
            action->setEnabled(true);
        }
    }
    if (lock_->disabledCentral != nullptr) {
        lock_->disabledCentral->setEnabled(true);
    }
    setAcceptDrops(lock_->acceptedDrops);
    delete lock_->notice.data();
    lock_.reset();
}

bool frm_Config_LCD::Refuse_Close_While_Locked() {
    if (!lock_) {
        return false;
    }
    // The call may unlock (a PIN asked at once): the callback is kept until it has returned.
    const auto refused = lock_->closeRefused;
    if (refused) {
        refused();
    }
    return lock_ != nullptr;
}

}  // namespace lcdprog

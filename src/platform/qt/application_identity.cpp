#include "platform/qt/application_identity.h"

#include <QApplication>
#include <QIcon>

namespace lcdprog::platform {

void Set_Application_Identity() {
    QApplication::setApplicationName("lcdprog");
    QApplication::setOrganizationName("lcdprog");
    QApplication::setDesktopFileName("org.lcdprog.Lcdprog");
    QIcon icon = QIcon::fromTheme("org.lcdprog.Lcdprog");
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        icon.addFile(QString(":/icons/lcdprog-%1.png").arg(size), QSize(size, size));
    }
    QApplication::setWindowIcon(icon);
}

}  // namespace lcdprog::platform

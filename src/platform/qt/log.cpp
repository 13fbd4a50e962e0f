#include "platform/qt/log.h"

namespace lcdprog::platform {

void Set_Log_Format() {
    qSetMessagePattern(
        QStringLiteral("%{if-category}%{time yyyy-MM-dd HH:mm:ss.zzz} "
                       "%{category} %{type}: %{endif}%{message}"));
}

void Enable_Verbose_Log() {
    QLoggingCategory::setFilterRules(QStringLiteral("lcdprog.*=true"));
}

void Log_Line(const QLoggingCategory& category, QtMsgType type, const std::string& text) {
    if (!category.isEnabled(type)) {
        return;
    }
    const QMessageLogger logger(nullptr, 0, nullptr, category.categoryName());
    switch (type) {
        case QtDebugMsg:
            logger.debug("%s", text.c_str());
            break;
        case QtInfoMsg:
            logger.info("%s", text.c_str());
            break;
        case QtWarningMsg:
            logger.warning("%s", text.c_str());
            break;
        case QtCriticalMsg:
        case QtFatalMsg:
            logger.critical("%s", text.c_str());
            break;
    }
}

bool Run_Log_Wanted() {
    return Link_Log().isInfoEnabled();
}

}  // namespace lcdprog::platform

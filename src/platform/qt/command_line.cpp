#include "platform/qt/command_line.h"

#include <string>

namespace lcdprog::platform {

QCommandLineOption Verbose_Option() {
    return QCommandLineOption(QStringLiteral("verbose"));
}

Result<> Parse_Options(QCommandLineParser& parser, const QList<QCommandLineOption>& options,
                       const QStringList& arguments) {
    parser.addOptions(options);
    if (parser.parse(arguments)) {
        return kDone;
    }
    const auto refused = [](const QString& text) {
        return Refusal{RefusalKind::Invalid, text.toStdString()};
    };
    if (!parser.unknownOptionNames().isEmpty()) {
        const QString name = parser.unknownOptionNames().front();
        return refused(
            QStringLiteral("opzione sconosciuta: \"%1%2\"")
                .arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name));
    }
    // QCommandLineParser's own words are English (or Qt's translation, once it is loaded): the
    // option it stopped at is found again in the arguments instead.
    for (qsizetype i = 1; i < arguments.size() && arguments[i] != QLatin1String("--"); ++i) {
        const QString& argument = arguments[i];
        if (!argument.startsWith(QLatin1Char('-')) || argument.size() < 2) {
            continue;
        }
        const QString written = argument.section(QLatin1Char('='), 0, 0);
        const QString name = written.mid(written.startsWith(QLatin1String("--")) ? 2 : 1);
        const bool withValue = argument.contains(QLatin1Char('='));
        for (const QCommandLineOption& option : options) {
            if (!option.names().contains(name)) {
                continue;
            }
            const bool takesValue = !option.valueName().isEmpty();
            if (!takesValue && withValue) {
                return refused(QStringLiteral("l'opzione %1 non prende valori").arg(written));
            }
            if (takesValue && !withValue) {
                if (i + 1 == arguments.size()) {
                    return refused(QStringLiteral("l'opzione %1 richiede un valore").arg(written));
                }
                ++i;  // its value, whatever it looks like
            }
        }
    }
    return refused(QStringLiteral("riga di comando non valida"));
}

}  // namespace lcdprog::platform

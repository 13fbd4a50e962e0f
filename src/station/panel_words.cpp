#include "station/panel_words.h"

#include "link/run_outcome.h"
#include "platform/qt/qt_text.h"

namespace lcdprog {
namespace {

using platform::Q;

// "modulo 3" or "modulo 3, matricola SN1".
QString Unit_Name(int unit, const QString& serial) {
    QString name = QStringLiteral("modulo %1").arg(unit);
    return serial.isEmpty() ? name : name + QStringLiteral(", matricola ") + serial;
}

QString State_Of(const cli::PortState& port, const PanelContext& context) {
    const auto& last = port.last;
    if (port.openFailed) {
        return QStringLiteral("scollegato");
    }
    switch (port.step) {
        case cli::PortStep::Writing:
            return QStringLiteral("scrittura");
        case cli::PortStep::Opening:
            return QStringLiteral("apertura della porta");
        case cli::PortStep::Waiting:
            if (port.waitingForArm) {
                // Not armed with a serial at hand: the work order's other units under way
                // would complete it.
                return context.askSerial && context.pendingSerial.isEmpty()
                           ? QStringLiteral("in attesa della matricola")
                           : QStringLiteral("in attesa: le unità in corso completano la commessa");
            }
            return port.waitingForPlug ? QStringLiteral("in attesa di un modulo")
                                       : QStringLiteral("togliere il modulo");
        case cli::PortStep::Idle:
            if (last) {
                return last->Ok() ? QStringLiteral("programmato")
                       : last->outcome.failure == RunFailure::PortLost
                           ? QStringLiteral("scollegato")
                       : last->Interrupted() ? QStringLiteral("interrotto")
                                             : QStringLiteral("fallito");
            }
            break;
        case cli::PortStep::Detecting:
            break;
    }
    return port.ended ? QStringLiteral("in attesa") : QStringLiteral("ricerca del modulo");
}

}  // namespace

PanelWords Panel_Words(const cli::PortState& port, const PanelContext& context) {
    PanelWords words;
    words.state = State_Of(port, context);
    if (!context.pendingSerial.isEmpty()) {
        // The operator sees the scan was taken, and for which unit.
        words.state = QStringLiteral("matricola ") + context.pendingSerial + QStringLiteral(": ") +
                      words.state;
    }
    // A result is shown only while its unit is in place: the supervisor forgets it when a new
    // unit starts or the unit was taken away.
    const auto& last = port.last;
    if (port.openFailed) {
        words = {words.state, QStringLiteral("NON APERTA"), Q(One_Line(port.openError)),
                 Tone::Failed};
    } else if (port.step == cli::PortStep::Writing) {
        words = {words.state, QStringLiteral("IN SCRITTURA: NON SCOLLEGARE"),
                 Unit_Name(port.unit, port.identity.serial), Tone::Writing};
    } else if (!context.refusal.isEmpty()) {
        words = {words.state, QStringLiteral("MATRICOLA RIFIUTATA"), context.refusal, Tone::Failed};
    } else if (last) {
        const RunFailure failure = last->outcome.failure;
        words.result = last->Ok()                        ? QStringLiteral("OK")
                       : failure == RunFailure::PortLost ? QStringLiteral("PORTA PERSA")
                       : last->Interrupted()             ? QStringLiteral("INTERROTTO")
                                                         : QStringLiteral("FALLITO");
        words.tone = last->Ok() ? Tone::Ok : last->Interrupted() ? Tone::Stopped : Tone::Failed;
        words.detail = Unit_Name(last->unit, Q(last->serial)) + QStringLiteral(": ") +
                       Q(Outcome_Text(last->outcome));
    }
    return words;
}

}  // namespace lcdprog

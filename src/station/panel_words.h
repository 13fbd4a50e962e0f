#pragma once

// What a position's panel says of its port and of the unit in it, written in one place: the panel
// shows these words, and whoever announces a unit's result (a screen reader) reads the same ones.
// QtCore only.

#include <QString>

#include "cli/port_supervisor.h"

namespace lcdprog {

enum class Tone { Neutral, Writing, Ok, Stopped, Failed };

struct PanelWords {
    QString state;   // one word or two: "in attesa", "scrittura", "programmato", ...
    QString result;  // in large type: "OK", "FALLITO", ...; "" when there is nothing to say
    QString detail;  // the unit and its outcome: "modulo 3: Programmazione completata: ..."
    Tone tone = Tone::Neutral;
};

// What the station knows of the position beyond its port.
struct PanelContext {
    bool askSerial = false;
    QString pendingSerial;  // taken, for the next unit the port arms
    QString refusal;        // why the last serial typed there was refused
};

PanelWords Panel_Words(const cli::PortState& port, const PanelContext& context);

}  // namespace lcdprog

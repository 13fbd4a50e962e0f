#pragma once

// The command lines of lcdprog, lcdprog-cli and lcdprog-sim, read by QCommandLineParser and
// refused in Italian with the same words in all three: the operator who reads one reads all.

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QStringList>

#include "platform/result.h"

namespace lcdprog::platform {

// --verbose: the program's log on standard error (platform/qt/log.h).
QCommandLineOption Verbose_Option();

// Adds `options` to `parser` and parses `arguments` (the program's name first). Refused with
// the operator's words: 'opzione sconosciuta: "--x"', "l'opzione --x richiede un valore",
// "l'opzione --x non prende valori", and "riga di comando non valida" for anything else; the
// option is named as it was written. Whoever says more (the command it was for, where to find
// help) adds it.
[[nodiscard]] Result<> Parse_Options(QCommandLineParser& parser,
                                     const QList<QCommandLineOption>& options,
                                     const QStringList& arguments);

}  // namespace lcdprog::platform

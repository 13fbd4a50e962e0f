#pragma once

// The file dialog routine of the picture selection. No window system here: the dialog and the
// message box are reached through platform/.

#include <optional>
#include <string>

#include "platform/event_pump.h"
#include "platform/file_dialog.h"
#include "platform/message_box.h"
#include "state/mod_variabili.h"

namespace lcdprog {

// The filter of `Comm_Open_Save`: two entries, "all files" and the bitmap entry.
inline constexpr const char* kPictureFilter = "Tutti i file |*.*| Messaggio (*.bmp) | *.bmp";

// Asks for a picture file: the open form (the save form when SaveDialogMode is true) with the
// bitmap entry chosen, a cancel reported as a failure. Returns the chosen full path lower-cased
// (platform::Lower_Case_Path), or "" when the operator cancelled or when the name does not
// contain "bmp" (that case after the warning "Estensione file non valida!"). When `pump` is
// given, pending window events run once the dialog has closed, before the name is looked at.
// `purpose` ("Scegli l'immagine 2 del 64240B") is what a screen reader says the dialog is for;
// its title stays the platform's own.
std::string Select_Picture_File(const ProgramState& state, platform::FileDialog& dialog,
                                platform::MessageBox& messages, platform::EventPump* pump = nullptr,
                                const std::string& purpose = {});

// The name test of a chosen picture: the name lower-cased (platform::Lower_Case_Path), or ""
// after the warning "Estensione file non valida!" when it does not contain "bmp". A picture
// dropped on a box passes the same test, without the dialog.
std::string Check_Picture_Name(const std::string& chosen, platform::MessageBox& messages);

// Asks for a project or image file with the same dialog, titled by its `purpose` ("Salva
// progetto"): its open form, or its save form (SaveDialogMode true while it is up, false again
// afterwards, as the picture selection expects it), with the filter's second entry chosen. A
// name saved without an extension gets `extension`. The save form proposes `proposedName` when
// one is given, and asks before an existing file is chosen unless `confirmOverwrite` is false.
// Nothing when the operator cancelled.
std::optional<std::string> Choose_File(ProgramState& state, platform::FileDialog& dialog,
                                       const std::string& purpose, const char* filter,
                                       bool saveForm, const std::string& extension = {},
                                       const std::string& proposedName = {},
                                       bool confirmOverwrite = true);

}  // namespace lcdprog

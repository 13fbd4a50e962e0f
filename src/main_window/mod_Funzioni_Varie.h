#pragma once

// The file dialog routine of the picture selection. No window system here: the dialog and the
// message box are reached through platform/.

#include <string>

#include "platform/event_pump.h"
#include "platform/file_dialog.h"
#include "platform/message_box.h"

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
std::string Select_Picture_File(bool SaveDialogMode, platform::FileDialog& dialog,
                                platform::MessageBox& messages, platform::EventPump* pump = nullptr,
                                const std::string& purpose = {});

// The name test of a chosen picture: the name lower-cased (platform::Lower_Case_Path), or ""
// after the warning "Estensione file non valida!" when it does not contain "bmp". A picture
// dropped on a box passes the same test, without the dialog.
std::string Check_Picture_Name(const std::string& chosen, platform::MessageBox& messages);

}  // namespace lcdprog

#include "platform/system_reason.h"

#include <cerrno>
#include <cstring>

namespace lcdprog::platform {

std::string System_Reason(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
            return "Accesso negato.";
        case ENOENT:
        case ENOTDIR:
            return "Il file o la cartella non esiste.";
        case EISDIR:
            return "È una cartella, non un file.";
        case ENOSPC:
        case EDQUOT:
            return "Spazio esaurito sul disco.";
        case EFBIG:
            return "File troppo grande per il disco.";
        case EROFS:
            return "Il disco è di sola lettura.";
        case EBUSY:
            return "Dispositivo occupato.";
        case EIO:
            return "Errore di ingresso/uscita sul disco o sul dispositivo.";
        case ENODEV:
        case ENXIO:
            return "Il dispositivo non esiste.";
        case ELOOP:
            return "Troppi collegamenti simbolici (forse un ciclo).";
        case ENAMETOOLONG:
            return "Nome del file troppo lungo.";
        case EMFILE:
        case ENFILE:
            return "Troppi file aperti.";
        default:
            return std::strerror(error);
    }
}

}  // namespace lcdprog::platform

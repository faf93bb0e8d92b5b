#include "platform/system_error_text.h"

#include <cerrno>

std::string SystemErrorText(int errorNumber) {
    switch (errorNumber) {
    case ENOSPC:
        return "Auf dem Gerät ist kein Speicherplatz mehr verfügbar";
    case EFBIG:
        return "Die Datei ist zu groß";
    case EDQUOT:
        return "Der zugeteilte Speicherplatz (Quota) ist ausgeschöpft";
    case EIO:
        return "Ein- oder Ausgabefehler";
    case EACCES:
        return "Keine Berechtigung";
    case EPERM:
        return "Die Operation ist nicht erlaubt";
    case EROFS:
        return "Das Dateisystem ist nur lesbar";
    case EMFILE:
        return "Zu viele offene Dateien";
    case ENFILE:
        return "Zu viele offene Dateien im System";
    case ENOMEM:
        return "Nicht genügend Arbeitsspeicher verfügbar";
    case EAGAIN:
        return "Die Ressource ist zur Zeit nicht verfügbar";
    case ENOENT:
        return "Die Datei oder das Verzeichnis existiert nicht";
    case ENOTDIR:
        return "Ein Teil des Pfades ist kein Verzeichnis";
    case EISDIR:
        return "Ist ein Verzeichnis";
    case ENAMETOOLONG:
        return "Der Dateiname ist zu lang";
    case ELOOP:
        return "Zu viele Ebenen symbolischer Verknüpfungen";
    case ENOEXEC:
        return "Das Programm hat kein ausführbares Format";
    case E2BIG:
        return "Die Argumentliste ist zu lang";
    case ETXTBSY:
        return "Die Programmdatei wird gerade geschrieben";
    case EEXIST:
        return "Die Datei existiert bereits";
    case ENXIO:
        return "Kein solches Gerät oder keine solche Adresse";
    case EINTR:
        return "Ein Signal hat den Aufruf unterbrochen";
    default:
        break;
    }
    return "Systemfehler " + std::to_string(errorNumber);
}

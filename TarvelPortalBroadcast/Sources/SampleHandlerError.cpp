#include "TarvelPortalBroadcast/Sources/SampleHandlerError.hpp"

namespace tarvelportalbroadcast {

std::optional<std::string> SampleHandlerError::errorDescription() const {
  return "Kein aktiver Stream gefunden. Bitte in der Tarvel-Portal-App zuerst unter \"Live\" einen Stream mit "
         "\"Bildschirm (Handyspiel)\" starten, bevor die Aufnahme hier gestartet wird.";
}

}  // namespace tarvelportalbroadcast

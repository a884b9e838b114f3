#include "core/UiTexts.h"

#include <array>
#include <stdexcept>

#include "base/Text.h"
#include "core/AppSettings.h"
#include "core/DebugLog.h"

TUiTexts UiTexts;

namespace {

struct TRow {
  const char* key;
  std::string TUiTexts::*member;
  const char* fr;  // UTF-8 here so that the accents stay readable; converted when filled
  const char* en;
};

// The French lblCalledIdentity ends with a blank: it is part of the wording and must stay.
const TRow kRows[] = {
    {"menuFile", &TUiTexts::menuFile, "Fichier", "File"},
    {"menuTools", &TUiTexts::menuTools, "Outils", "Tools"},
    {"menuQuit", &TUiTexts::menuQuit, "Quitter", "Quit"},
    {"menuSettings", &TUiTexts::menuSettings, "Configuration", "Settings"},
    {"menuManualStream", &TUiTexts::menuManualStream, "Stream manuel", "Manual Stream"},
    {"menuFullScreen", &TUiTexts::menuFullScreen, "Mode plein écran", "Toggle full screen"},
    {"menuDebug", &TUiTexts::menuDebug, "Debug", "Debug"},
    {"menuWaitList", &TUiTexts::menuWaitList, "Liste d'attente", "Wait list"},
    {"menuAbout", &TUiTexts::menuAbout, "À propos", "About"},
    {"menuHelp", &TUiTexts::menuHelp, "Aide", "Help"},
    {"hintSnapshot", &TUiTexts::hintSnapshot, "Capture", "Snapshot"},
    {"hintStopStream", &TUiTexts::hintStopStream, "Stop stream", "Stop stream"},
    {"hintRelay", &TUiTexts::hintRelay, "Actionner le relais de la platine par défaut",
     "Trigger default doorphone's relay"},
    {"hintFavouriteStream", &TUiTexts::hintFavouriteStream,
     "Lancer le stream de la platine prioritaire", "Start main doorphone's streaming"},
    {"msgMultipleInterfaces", &TUiTexts::msgMultipleInterfaces,
     "Attention, plusieurs interfaces réseaux ont été détectées sur votre ordinateur. Pour un "
     "fonctionnement optimal, merci de configurer l'interface par défaut dans Outils/ "
     "Configuration/ Adresse prioritaire/ Interface(s) réseau",
     "Warning, multiple network interfaces were detected on your computer. In order to run Ostrel "
     "Stream properly, please set the default interface in Tools/ Settings/ Priority address/ "
     "Network Interface(s)"},
    {"msgInterfaceUnavailable", &TUiTexts::msgInterfaceUnavailable,
     "Attention, l'interface réseau sélectionnée par défaut ne semble pas être disponible, merci "
     "de vérifier vos paramètres dans Outils/ Configuration/ Adresse prioritaire/ Interface(s) "
     "réseau",
     "Warning, the default network interface is down or not configured on your system, please "
     "check your settings in Tools/ Settings/ Priority address/ Network Interface(s)"},
    {"msgNoHttps", &TUiTexts::msgNoHttps,
     "Les connexions HTTPS ne seront pas réalisables sur cette machine.",
     "HTTPS connection won't be available on this machine."},
    {"msgNoPriorityAddress", &TUiTexts::msgNoPriorityAddress,
     "Aucune adresse prioritaire n'est enregistrée.", "No priority address found."},
    {"hintNoDoorphone", &TUiTexts::hintNoDoorphone,
     "Aucune platine n'est actuellement détectée sur le réseau.",
     "No doorphones were detected on the network."},
    {"hintDoorphoneDetected", &TUiTexts::hintDoorphoneDetected,
     "Au moins une platine a été détectée sur le réseau.",
     "At least one doorphone has been detected on the network."},
    {"btnApply", &TUiTexts::btnApply, "Appliquer", "Apply"},
    {"btnCancel", &TUiTexts::btnCancel, "Annuler", "Cancel"},
    {"tabAddresses", &TUiTexts::tabAddresses, "Adresse prioritaire", "Priority address"},
    {"lblAddresses", &TUiTexts::lblAddresses,
     "Renseignez les adresses des platines dans le champ ci-dessous en les séparant par des "
     "points-virgules :",
     "Fill in this field your doorphones addresses, semicolon separated :"},
    {"lblDetected", &TUiTexts::lblDetected, "Adresses détectées automatiquement.",
     "Automatically detected addresses."},
    {"chkFavourite", &TUiTexts::chkFavourite, "Adresse de prédilection", "Favourite address"},
    {"hintFavourite", &TUiTexts::hintFavourite,
     "Adresse pour le lancement du Stream automatique, action API hors stream (doit être présente "
     "dans le champs ci-dessous)",
     "Address aimed by the manual stream (and API calls while not streaming) - must be present in "
     "the field below"},
    {"hintRefresh", &TUiTexts::hintRefresh,
     "Rafraîchir la liste des adresses détectées automatiquement.",
     "Refresh the automatically detected address list."},
    {"hintAddDetected", &TUiTexts::hintAddDetected, "Ajouter les adresses à votre liste.",
     "Add these addresses to your list."},
    {"tabCall", &TUiTexts::tabCall, "Paramètres d'appel", "Call settings"},
    {"lblCalledIdentity", &TUiTexts::lblCalledIdentity,
     "Renseignez l'identité SIP du contact 'appelé' par la platine qui déclenchera le Stream : ",
     "Fill in the called SIP identity that will trigger the stream when called by your "
     "doorphones:"},
    {"pnlCalledIdentity", &TUiTexts::pnlCalledIdentity, "Identité SIP appelée",
     "Called SIP identity"},
    {"chkWaitList", &TUiTexts::chkWaitList, "Mise en liste d'attente en cours de streaming",
     "Stack incoming calls to wait list while streaming"},
    {"pnlStrikeCode", &TUiTexts::pnlStrikeCode, "Code gâche", "Door/Strike code"},
    {"lblCallingIdentities", &TUiTexts::lblCallingIdentities,
     "Renseignez les identités SIP des platines à surveiller. Laissez les champs vide afin de "
     "surveiller toutes les identités:",
     "Fill in the calling SIP identities to watch. Leave empty to watch every doorphones:"},
    {"pnlCallingIdentity", &TUiTexts::pnlCallingIdentity, "Identité SIP appelant",
     "Calling SIP identity"},
    {"msgBadStrikeCode", &TUiTexts::msgBadStrikeCode,
     "Code gâche erroné, merci de ne saisir que des caractères numériques",
     "Bad strike code, please use numeric values only."},
    {"hintWaitList", &TUiTexts::hintWaitList,
     "Si vous regardez le flux d'un portier autre que celui qui vous appelle, celui-ci est mis en "
     "liste d'attente.",
     "While watching another stream than the one from the actual calling doorphone, it will be "
     "sent to a wait list."},
    {"tabPreferences", &TUiTexts::tabPreferences, "Préférences", "Preferences"},
    {"chkAutoFocus", &TUiTexts::chkAutoFocus,
     "Passage au premier plan (focus) sur lancement du streaming", "Auto focus on stream start"},
    {"chkAutoFullScreen", &TUiTexts::chkAutoFullScreen, "Plein écran automatique en streaming",
     "Automatic full screen on stream"},
    {"chkAutoSnap", &TUiTexts::chkAutoSnap,
     "Capture d'image automatique sur lancement du streaming", "Automatic snapshot on stream"},
    {"chkAutostart", &TUiTexts::chkAutostart, "Lancement automatique au démarrage de Windows",
     "Automatically start this application on Windows startup."},
    {"lblInterfaces", &TUiTexts::lblInterfaces, "Interface(s) réseau", "Network Interface(s)"},
    {"lblLanguage", &TUiTexts::lblLanguage, "Langue", "Language"},
    {"msgRestart", &TUiTexts::msgRestart,
     "L'application doit redémarrer afin que ce changement prenne effet, voulez-vous que "
     "l'application redémarre automatiquement?",
     "The application must be restarted to make this change effective. Do you want it to restart "
     "automatically now?"},
    {"hintInterface", &TUiTexts::hintInterface,
     "Si plusieurs interfaces sont présentes sur l'hôte, merci de n'en sélectionner qu'une seule.",
     "In case of multiple network interfaces on the same host, please select only one."},
    {"chkSysButtons", &TUiTexts::chkSysButtons, "Afficher les boutons système (Réduire/Fermer)",
     "Show system buttons (minimize/close)"},
    {"chkOnTop", &TUiTexts::chkOnTop, "Toujours au premier plan", "Always on top"},
    {"chkStartMinimized", &TUiTexts::chkStartMinimized, "Mode réduit automatique",
     "Minimized application automatic"},
    {"tabApi", &TUiTexts::tabApi, "API", "API"},
    {"lblApi", &TUiTexts::lblApi, "Paramètres d'authentification aux API Pavik.",
     "Pavik API authentication settings."},
    {"pnlLogin", &TUiTexts::pnlLogin, "Identifiant", "Login"},
    {"pnlPassword", &TUiTexts::pnlPassword, "Mot de passe", "Password"},
    {"pnlAuthType", &TUiTexts::pnlAuthType, "Type d'authentification", "Authentication type"},
    {"pnlMethod", &TUiTexts::pnlMethod, "Méthode", "Method"},
    {"txtAbout", &TUiTexts::txtAbout,
     "Ostrel Stream permet de visualiser automatiquement les flux vidéos des platines Halvex lors "
     "des communications. Contact au :",
     "Ostrel Stream allows you to automatically watch video streaming from Halvex doorphones "
     "during communication. Contact us :"},
    {"aboutHelpLine", &TUiTexts::aboutHelpLine, "Aide : menu ? > Aide de la fenêtre principale",
     "Help: menu ? > Help of the main window"},
    {"aboutLicenceLine", &TUiTexts::aboutLicenceLine,
     "Licences des bibliothèques : lien ci-dessous", "Library licences: link below"},
    {"nameRelay", &TUiTexts::nameRelay, "Relais de la porte", "Door relay"},
    {"nameFavouriteStream", &TUiTexts::nameFavouriteStream, "Stream de la platine prioritaire",
     "Main doorphone's stream"},
    {"nameStopStream", &TUiTexts::nameStopStream, "Arrêter le stream", "Stop stream"},
    {"nameSnapshot", &TUiTexts::nameSnapshot, "Capture", "Snapshot"},
    {"nameVoiceMessage", &TUiTexts::nameVoiceMessage, "Message vocal", "Voice message"},
    {"nameListen", &TUiTexts::nameListen, "Écouter la platine prioritaire",
     "Listen to the main doorphone"},
    {"nameStopListening", &TUiTexts::nameStopListening, "Arrêter l'écoute", "Stop listening"},
    {"nameDetection", &TUiTexts::nameDetection, "Détection des platines", "Doorphone detection"},
    {"nameAddIdentity", &TUiTexts::nameAddIdentity, "Ajouter l'identité", "Add the identity"},
    {"nameRemoveIdentities", &TUiTexts::nameRemoveIdentities, "Retirer les identités sélectionnées",
     "Remove the selected identities"},
    {"nameRefreshInterfaces", &TUiTexts::nameRefreshInterfaces, "Rafraîchir les interfaces réseau",
     "Refresh the network interfaces"},
    {"nameRevealStrikeCode", &TUiTexts::nameRevealStrikeCode, "Afficher ou masquer le code gâche",
     "Show or hide the strike code"},
    {"nameRevealPassword", &TUiTexts::nameRevealPassword, "Afficher ou masquer le mot de passe",
     "Show or hide the password"},
    {"ovlConnecting", &TUiTexts::ovlConnecting, "Connexion...", "Connecting..."},
    {"ovlAccessRefused", &TUiTexts::ovlAccessRefused, "Accès refusé", "Access refused"},
    {"ovlRefused", &TUiTexts::ovlRefused, "Refusé", "Refused"},
    {"ovlVideoLost", &TUiTexts::ovlVideoLost, "Vidéo perdue", "Video lost"},
    {"ovlUnreachable", &TUiTexts::ovlUnreachable, "Platine injoignable", "Panel unreachable"},
    {"menuStreamStats", &TUiTexts::menuStreamStats, "Afficher les statistiques du flux",
     "Show stream statistics"},
    {"statsReceived", &TUiTexts::statsReceived, "Images reçues/s", "Frames received/s"},
    {"statsShown", &TUiTexts::statsShown, "Images affichées/s", "Frames shown/s"},
    {"statsAge", &TUiTexts::statsAge, "Âge de l'image", "Frame age"},
    {"statsRingToFrame", &TUiTexts::statsRingToFrame, "De la sonnerie à la 1re image",
     "Ring to first frame"},
    {"statsPanel", &TUiTexts::statsPanel, "Platine", "Panel"},
    {"msgSnapshotSaved", &TUiTexts::msgSnapshotSaved, "Capture enregistrée :", "Snapshot saved:"},
    {"msgWaitingNetwork", &TUiTexts::msgWaitingNetwork, "Attente du réseau...",
     "Waiting for the network..."},
    {"chkShowNextWaiting", &TUiTexts::chkShowNextWaiting,
     "À la fin d'un appel, afficher l'appelant suivant en attente",
     "When a call ends, show the next waiting caller"},
    {"lblSnapshotFolder", &TUiTexts::lblSnapshotFolder, "Dossier des captures", "Snapshot folder"},
    {"hintSnapshotFolder", &TUiTexts::hintSnapshotFolder,
     "Vide : le dossier Images de l'utilisateur, sinon le dossier temporaire.",
     "Empty: your Pictures folder, else the temporary folder."},
    {"tabNotifications", &TUiTexts::tabNotifications, "Notifications", "Notifications"},
    {"chkCloseToTray", &TUiTexts::chkCloseToTray,
     "Fermer dans la zone de notification (la fenêtre est masquée, pas quittée)",
     "Close to the tray (the window is hidden, not quit)"},
    {"hintNoTray", &TUiTexts::hintNoTray,
     "Ce bureau n'a pas de zone de notification : fermer la fenêtre quitte le programme.",
     "This desktop has no tray: closing the window quits the program."},
    {"chkRing", &TUiTexts::chkRing, "Sonner quand un appel arrive fenêtre réduite ou masquée",
     "Ring when a call arrives while the window is minimised or hidden"},
    {"trayShow", &TUiTexts::trayShow, "Afficher", "Show"},
    {"trayHide", &TUiTexts::trayHide, "Masquer", "Hide"},
    {"trayWatchFavourite", &TUiTexts::trayWatchFavourite, "Voir la platine prioritaire",
     "Watch favourite"},
    {"trayOpenDoor", &TUiTexts::trayOpenDoor, "Ouvrir la porte", "Open the door"},
    {"trayJournal", &TUiTexts::trayJournal, "Journal des visites", "Journal"},
    {"trayLastCaller", &TUiTexts::trayLastCaller, "Dernier appelant :", "Last caller:"},
    {"trayMissed", &TUiTexts::trayMissed, "Appels manqués :", "Missed calls:"},
    {"ntfCallFrom", &TUiTexts::ntfCallFrom, "Appel de", "Call from"},
    {"ntfShow", &TUiTexts::ntfShow, "Afficher", "Show"},
    {"menuJournal", &TUiTexts::menuJournal, "Journal des visites", "Visitor journal"},
    {"grpJournal", &TUiTexts::grpJournal, "Journal des visites", "Visitor journal"},
    {"lblJournalDays", &TUiTexts::lblJournalDays, "Garder les appels (jours)",
     "Keep calls for (days)"},
    {"lblJournalMaxMB", &TUiTexts::lblJournalMaxMB, "Taille maximale des images (Mo)",
     "Keep pictures up to (MB)"},
    {"lblJournalDay", &TUiTexts::lblJournalDay, "Jour", "Day"},
    {"lblJournalPanel", &TUiTexts::lblJournalPanel, "Platine", "Panel"},
    {"lblJournalAll", &TUiTexts::lblJournalAll, "Tous", "All"},
    {"btnJournalExport", &TUiTexts::btnJournalExport, "Exporter le jour...", "Export the day..."},
    {"colJournalTime", &TUiTexts::colJournalTime, "Heure", "Time"},
    {"colJournalCaller", &TUiTexts::colJournalCaller, "Appelant", "Caller"},
    {"colJournalOutcome", &TUiTexts::colJournalOutcome, "Issue", "Outcome"},
    {"colJournalWatched", &TUiTexts::colJournalWatched, "Regardé", "Watched"},
    {"colJournalDoor", &TUiTexts::colJournalDoor, "Porte", "Door"},
    {"colJournalVoice", &TUiTexts::colJournalVoice, "Message vocal", "Voice message"},
    {"txtJournalShown", &TUiTexts::txtJournalShown, "Affiché", "Shown"},
    {"txtJournalWaited", &TUiTexts::txtJournalWaited, "Mis en attente", "Put on the wait list"},
    {"txtJournalRejected", &TUiTexts::txtJournalRejected, "Refusé (identité)",
     "Rejected (identity)"},
    {"txtJournalWaitOff", &TUiTexts::txtJournalWaitOff, "Ignoré (liste d'attente désactivée)",
     "Dropped (wait list off)"},
    {"txtJournalWaitFull", &TUiTexts::txtJournalWaitFull, "Ignoré (liste d'attente pleine)",
     "Dropped (wait list full)"},
    {"txtJournalNotStarted", &TUiTexts::txtJournalNotStarted, "Non démarré (aucune interface)",
     "Not started (no interface)"},
    {"txtJournalMissed", &TUiTexts::txtJournalMissed, "Manqué", "Missed"},
    {"txtJournalSent", &TUiTexts::txtJournalSent, "Envoyé", "Sent"},
    {"msgJournalUnavailable", &TUiTexts::msgJournalUnavailable,
     "Le journal des visites ne peut pas être ouvert ; les appels restent affichés mais ne sont "
     "pas enregistrés.",
     "The visitor journal cannot be opened; calls are still shown but not recorded."},
    {"msgJournalRecovered", &TUiTexts::msgJournalRecovered,
     "Le journal des visites était endommagé ; il a été mis de côté et un nouveau a été commencé :",
     "The visitor journal was damaged; it was moved aside and a new one started:"},
    {"msgJournalExported", &TUiTexts::msgJournalExported, "Journal exporté :", "Journal exported:"},
    {"msgJournalExportFailed", &TUiTexts::msgJournalExportFailed,
     "Export impossible :", "Export failed:"},
};

enum class ELanguageColumn { French, English };

void fill(ELanguageColumn column) {
  for (const TRow& row : kRows)
    UiTexts.*row.member = utf8ToCp1252(column == ELanguageColumn::French ? row.fr : row.en);
}

}  // namespace

const std::string& TUiTexts::text(std::string_view key) const {
  for (const TRow& row : kRows)
    if (key == row.key) return this->*row.member;
  throw std::out_of_range("unknown text key: " + std::string(key));
}

const std::vector<std::string>& TUiTexts::keys() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> out;
    for (const TRow& row : kRows) out.emplace_back(row.key);
    return out;
  }();
  return names;
}

bool setLanguage(const std::string& code) {
  static constexpr std::array<const char*, 5> kKnown = {"FR", "EN", "DE", "ES", "PT"};
  std::string used = "FR";
  for (const char* known : kKnown)
    if (code == known) used = code;
  debugLog("Setting language to " + used);
  AppSettings.language = used;
  if (used == "FR") {
    fill(ELanguageColumn::French);
  } else if (used == "EN") {
    fill(ELanguageColumn::English);
  }
  // DE, ES and PT have no texts yet: whatever was shown stays.
  return true;
}

#pragma once

#include <string>
#include <string_view>
#include <vector>

// The translated texts of the user interface, one member per key, Windows-1252. Every text is
// empty when the program starts; setLanguage fills them for French or English. Read and
// written on the UI thread only.
struct TUiTexts {
  std::string menuFile;
  std::string menuTools;
  std::string menuQuit;
  std::string menuSettings;
  std::string menuManualStream;
  std::string menuFullScreen;
  std::string menuDebug;
  std::string menuWaitList;
  std::string menuAbout;
  std::string menuHelp;
  std::string hintSnapshot;
  std::string hintStopStream;
  std::string hintRelay;
  std::string hintFavouriteStream;
  std::string msgMultipleInterfaces;
  std::string msgInterfaceUnavailable;
  std::string msgNoHttps;
  std::string msgNoPriorityAddress;
  std::string hintNoDoorphone;
  std::string hintDoorphoneDetected;
  std::string btnApply;
  std::string btnCancel;
  std::string tabAddresses;
  std::string lblAddresses;
  std::string lblDetected;
  std::string chkFavourite;
  std::string hintFavourite;
  std::string hintRefresh;
  std::string hintAddDetected;
  std::string tabCall;
  std::string lblCalledIdentity;
  std::string pnlCalledIdentity;
  std::string chkWaitList;
  std::string pnlStrikeCode;
  std::string lblCallingIdentities;
  std::string pnlCallingIdentity;
  std::string msgBadStrikeCode;
  std::string hintWaitList;
  std::string tabPreferences;
  std::string chkAutoFocus;
  std::string chkAutoFullScreen;
  std::string chkAutoSnap;
  std::string chkAutostart;
  std::string lblInterfaces;
  std::string lblLanguage;
  std::string msgRestart;
  std::string hintInterface;
  std::string chkSysButtons;
  std::string chkOnTop;
  std::string chkStartMinimized;
  std::string tabApi;
  std::string lblApi;
  std::string pnlLogin;
  std::string pnlPassword;
  std::string pnlAuthType;
  std::string pnlMethod;
  std::string txtAbout;
  // Our own texts beyond the window texts above: the lines under the About introduction, and
  // the accessible names of the controls that show only a picture.
  std::string aboutHelpLine;
  std::string aboutLicenceLine;
  std::string nameRelay;
  std::string nameFavouriteStream;
  std::string nameStopStream;
  std::string nameSnapshot;
  std::string nameVoiceMessage;
  std::string nameListen;
  std::string nameStopListening;
  std::string nameDetection;
  std::string nameAddIdentity;
  std::string nameRemoveIdentities;
  std::string nameRefreshInterfaces;
  std::string nameRevealStrikeCode;
  std::string nameRevealPassword;
  // Over the video, the stream's statistics, snapshots, the network wait and their settings.
  std::string ovlConnecting;
  std::string ovlAccessRefused;
  std::string ovlRefused;
  std::string ovlVideoLost;
  std::string ovlUnreachable;
  std::string menuStreamStats;
  std::string statsReceived;
  std::string statsShown;
  std::string statsAge;
  std::string statsRingToFrame;
  std::string statsPanel;
  std::string msgSnapshotSaved;
  std::string msgWaitingNetwork;
  std::string chkShowNextWaiting;
  std::string lblSnapshotFolder;
  std::string hintSnapshotFolder;
  // The tray icon, the desktop notification and the "Notifications" tab.
  std::string tabNotifications;
  std::string chkCloseToTray;
  std::string hintNoTray;
  std::string chkRing;
  std::string trayShow;
  std::string trayHide;
  std::string trayWatchFavourite;
  std::string trayOpenDoor;
  std::string trayJournal;
  std::string trayLastCaller;
  std::string trayMissed;
  std::string ntfCallFrom;
  std::string ntfShow;
  std::string menuJournal;
  std::string grpJournal;
  std::string lblJournalDays;
  std::string lblJournalMaxMB;
  std::string lblJournalDay;
  std::string lblJournalPanel;
  std::string lblJournalAll;
  std::string btnJournalExport;
  std::string colJournalTime;
  std::string colJournalCaller;
  std::string colJournalOutcome;
  std::string colJournalWatched;
  std::string colJournalDoor;
  std::string colJournalVoice;
  std::string txtJournalShown;
  std::string txtJournalWaited;
  std::string txtJournalRejected;
  std::string txtJournalWaitOff;
  std::string txtJournalWaitFull;
  std::string txtJournalNotStarted;
  std::string txtJournalMissed;
  std::string txtJournalSent;
  std::string msgJournalUnavailable;
  std::string msgJournalRecovered;
  std::string msgJournalExported;
  std::string msgJournalExportFailed;

  // The text of a key by its name; throws std::out_of_range for a name that is not a key, so a
  // mistyped key shows at once instead of as an empty caption.
  const std::string& text(std::string_view key) const;

  // Every key name, in table order.
  static const std::vector<std::string>& keys();
};

// The process-wide table.
extern TUiTexts UiTexts;

// Chooses the interface language. A code other than exactly "FR", "EN", "DE", "ES" or "PT"
// becomes "FR"; the code used is logged and stored in AppSettings.language. "FR" and "EN" fill
// every text; "DE", "ES" and "PT" have no texts of their own and leave the table as it was.
// Always returns true. UI thread only.
bool setLanguage(const std::string& code);

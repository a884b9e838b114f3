#pragma once

#include <string>

// The in-memory settings record. Field names are the stored value names. Texts are
// Windows-1252. Integer switches count as on only when exactly 1; ONTop and SysButtons are on
// for any non-zero stored value. Written on the UI thread only.
struct TAppSettings {
  std::string platines;
  int priority = 0;
  int priocheck = 0;
  int autoSnap = 0;
  int autoFullScreen = 0;
  int startMinimized = 0;
  int warningOnCall = 0;
  std::string SIPID;
  int autoFocus = 0;
  std::string interfaceSelected;
  std::string language;
  std::string codeGache;  // kept scrambled, as stored
  std::string APIUsername;
  std::string APIPassword;  // in clear in memory
  std::string APIAuthtype;  // "None", "Basic" or "Digest"; empty when never loaded
  bool APISSL = false;
  std::string APIMethod;  // "GET" or "POST"; empty when never loaded
  bool ONTop = false;
  bool SysButtons = false;
  std::string CallingList;
  // Not created with the others on first start: read with these defaults when missing.
  std::string snapshotFolder;  // empty: the user's pictures folder, else the temporary folder
  int showNextWaiting = 1;     // when a watched call ends, the oldest waiting caller is shown
  // The live sound's volume in percent and its mute switch; not shown in the settings window,
  // saved on their own when the user changes them over the level bar.
  int liveVolume = 100;
  bool liveMute = false;
  // The "Notifications" tab, also missing on older stores: the window's close box hides it in
  // the tray (only when there is a tray), and a short ring plays when a call is shown while
  // the window is down.
  bool closeToTray = true;
  bool ring = true;
  // The visitor journal keeps calls this many days, and pictures up to this many megabytes.
  static constexpr int DefaultJournalDays = 90;
  static constexpr int DefaultJournalMaxMB = 500;
  static constexpr int MaxJournalDays = 3650;
  static constexpr int MaxJournalMB = 100000;
  int journalDays = DefaultJournalDays;
  int journalMaxMB = DefaultJournalMaxMB;
};

// The process-wide record and the run-time TLS flag beside it.
extern TAppSettings AppSettings;
extern bool sslAvailable;

#pragma once

#include <QIcon>
#include <QPixmap>

// The program's small pictures, drawn rather than shipped as files.
enum class EIcon {
  Relay,
  Favourite,
  Stop,
  Snapshot,
  Voice,
  Listen,
  ListenStop,
  PinOff,
  PinOn,
  LedOff,
  LedOn,
  Minimise,
  Quit,
  Settings,
  WaitList,
  Manual,
  FullScreen,
  About,
  Help,
  Watch,
  Remove,
  Add,
  Refresh,
  Eye,
  EyeCrossed,
  Information
};

QPixmap drawIcon(EIcon kind, int width, int height);
QIcon menuIcon(EIcon kind);

#pragma once

#include <QWidget>

// The settings window. Created hidden at start.
class TSettingsWindow : public QWidget {
  Q_OBJECT
 public:
  explicit TSettingsWindow(QWidget* parent = nullptr);
};

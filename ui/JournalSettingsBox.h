#pragma once

#include <QGroupBox>

#include "core/AppSettings.h"
#include "core/SettingsApply.h"

class QLabel;
class QSpinBox;

// The visitor journal's two retention settings as one box any settings page can host.
// UI thread only.
class TJournalSettingsBox : public QGroupBox {
 public:
  explicit TJournalSettingsBox(QWidget* parent = nullptr);

  void load(const TAppSettings& settings);
  void store(TSettingsForm& form) const;
  void applyTexts();

  QSpinBox* m_daysSpin = nullptr;
  QSpinBox* m_maxMBSpin = nullptr;

 private:
  QLabel* m_daysLabel = nullptr;
  QLabel* m_maxMBLabel = nullptr;
};

#include "ui/JournalSettingsBox.h"

#include <QLabel>
#include <QSpinBox>

#include "base/Text.h"
#include "core/UiTexts.h"

namespace {
QString ansi(const std::string& text) { return QString::fromStdString(cp1252ToUtf8(text)); }
}  // namespace

TJournalSettingsBox::TJournalSettingsBox(QWidget* parent) : QGroupBox(parent) {
  setObjectName("journalSettingsBox");
  // Fixed places like the rest of the settings window: a hidden page is never laid out, and
  // the Tab order follows these.
  m_daysLabel = new QLabel(this);
  m_daysSpin = new QSpinBox(this);
  m_daysSpin->setObjectName("journalDaysSpin");
  m_daysSpin->setRange(1, TAppSettings::MaxJournalDays);
  m_maxMBLabel = new QLabel(this);
  m_maxMBSpin = new QSpinBox(this);
  m_maxMBSpin->setObjectName("journalMaxMBSpin");
  m_maxMBSpin->setRange(1, TAppSettings::MaxJournalMB);
  m_daysLabel->setGeometry(10, 22, 250, 21);
  m_daysSpin->setGeometry(266, 22, 105, 21);
  m_maxMBLabel->setGeometry(10, 50, 250, 21);
  m_maxMBSpin->setGeometry(266, 50, 105, 21);
  applyTexts();
}

void TJournalSettingsBox::load(const TAppSettings& settings) {
  m_daysSpin->setValue(settings.journalDays);
  m_maxMBSpin->setValue(settings.journalMaxMB);
}

void TJournalSettingsBox::store(TSettingsForm& form) const {
  form.journalDays = m_daysSpin->value();
  form.journalMaxMB = m_maxMBSpin->value();
}

void TJournalSettingsBox::applyTexts() {
  setTitle(ansi(UiTexts.grpJournal));
  m_daysLabel->setText(ansi(UiTexts.lblJournalDays));
  m_maxMBLabel->setText(ansi(UiTexts.lblJournalMaxMB));
}

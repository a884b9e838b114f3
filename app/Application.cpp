#include "app/Application.h"

#include "app/EventErrors.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  if (m_errors == nullptr) return QApplication::notify(receiver, event);
  return m_errors->deliver([&] { return QApplication::notify(receiver, event); });
}

#include "app/EventErrors.h"

#include <QMetaObject>
#include <exception>

#include "base/LogSink.h"

TEventErrors::TEventErrors(IDialogs& dialogs) : m_dialogs(dialogs) {}

bool TEventErrors::deliver(const std::function<bool()>& delivery) {
  try {
    return delivery();
  } catch (const std::exception& error) {
    report(error.what());
  } catch (...) {
    report("Unknown exception");
  }
  return false;
}

void TEventErrors::report(const std::string& text) {
  debugLog("Exception: " + text);
  QMetaObject::invokeMethod(
      &m_context, [this, text] { m_dialogs.message(text, EDialogIcon::Error); },
      Qt::QueuedConnection);
}

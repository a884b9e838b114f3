#pragma once

#include <QObject>
#include <functional>
#include <string>

#include "platform/Dialogs.h"

// Exceptions that escape an event handler: each is logged and then shown in an error box with
// its text, and the event loop goes on. The box is shown from a queued call once the handler
// has unwound: opened inside it, its nested event loop could delete what the handler still
// uses. UI thread only; the dialogs must outlive this object.
class TEventErrors {
 public:
  explicit TEventErrors(IDialogs& dialogs);
  TEventErrors(const TEventErrors&) = delete;
  TEventErrors& operator=(const TEventErrors&) = delete;

  // Runs one event delivery. An exception escaping it is reported, and the event counts as not
  // handled.
  bool deliver(const std::function<bool()>& delivery);
  // Logs the text now and queues its error box.
  void report(const std::string& text);

 private:
  IDialogs& m_dialogs;
  // Owns the queued boxes: none is shown once this object is gone.
  QObject m_context;
};

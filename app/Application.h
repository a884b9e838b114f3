#pragma once

#include <QApplication>

class TEventErrors;

// The application object: an exception that escapes an event handler reaches the event-error
// reporter instead of ending the program.
class TApplication : public QApplication {
  Q_OBJECT
 public:
  TApplication(int& argc, char** argv);
  // Not owned; null reports nothing (the exception then ends the program, as before start-up).
  void setEventErrors(TEventErrors* errors) { m_errors = errors; }
  bool notify(QObject* receiver, QEvent* event) override;

 private:
  TEventErrors* m_errors = nullptr;
};

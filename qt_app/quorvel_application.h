#pragma once

#include <QApplication>
#include <exception>

// The application object. Qt cannot carry an exception through its event loop, so one that
// escapes an event handler is kept here, the loop ends, and RethrowEscaped hands it on to
// the program entry, which shows it.
class QuorvelApplication : public QApplication {
  public:
    QuorvelApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
    void RethrowEscaped();

  private:
    std::exception_ptr escaped_;
};

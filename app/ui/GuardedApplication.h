#pragma once

#include <QApplication>

// The application whose event dispatch is the last line for the UI thread: an exception that a
// slot or an event handler let out is logged and that one event counts as not handled, instead of
// ending the program (Qt cannot carry an exception through its event loop).
class CGuardedApplication : public QApplication {
public:
    CGuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    bool notify(QObject* receiver, QEvent* event) override;
};

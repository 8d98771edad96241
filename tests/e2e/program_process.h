#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <functional>

// Generous, so a loaded machine never looks like a fault; reached only when one is.
constexpr int DeadlineMs = 30000;

// Gives the test process a Qt application object (QProcess wants one) and makes sure
// nothing in it can reach the user's session bus: the session bus address points at a
// path that does not exist.
void PrepareQtWithoutSessionBus();

// The test's environment for the programs: no display, and the session bus at busAddress
// (a private daemon, or a path where none listens), never the user's.
QProcessEnvironment ProgramEnvironment(const QString& busAddress);

// Starts program as a child that dies with the test. beforeExec runs in the child after
// its standard channels are set up (to put standard output on a terminal, for one).
bool StartChild(QProcess& process, const QString& program, const QStringList& args,
                const QProcessEnvironment& environment,
                const std::function<void()>& beforeExec = {});

// Appends the child's standard output to output until done(output) holds, the child has
// ended or the deadline passed; returns done(output).
bool ReadOutputUntil(QProcess& process, QByteArray& output,
                     const std::function<bool(const QByteArray&)>& done);

// Ends the child with SIGTERM; false if it did not end by the deadline.
bool Terminate(QProcess& process);

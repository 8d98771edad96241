#pragma once

// Tells the service manager that started the program (systemd, through NOTIFY_SOCKET) that
// it is ready: its signals are settled, so a reload asked for from now on is taken as one.
// Without a service manager, and on Windows, it does nothing. False when one was named but
// could not be told.
bool TellServiceManagerReady();

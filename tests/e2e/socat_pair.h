#pragma once

#include <QProcess>
#include <QString>

// A serial adapter that can be unplugged and plugged back: socat joins two pseudo-terminals
// and links them at fixed paths, the port for the program and the peer for the test.
// Killing socat hangs the port up; starting it again re-points the same links, as udev
// does for a replugged adapter.
class SocatPair {
  public:
    explicit SocatPair(const QString& dir);
    ~SocatPair();
    SocatPair(const SocatPair&) = delete;
    SocatPair& operator=(const SocatPair&) = delete;

    // Starts socat and waits until both links are there and it is passing data.
    bool Plug();
    // Kills socat and removes its links, as the device nodes vanish with an adapter.
    bool Unplug();

    // Opens the peer for writing: a new descriptor, valid until the next Unplug.
    int OpenPeer();

    QString PortPath() const { return portPath_; }
    QString Error() const { return error_; }

  private:
    void ClosePeer();

    QString portPath_;
    QString peerPath_;
    QProcess socat_;
    QString error_;
    int peer_ = -1;
};

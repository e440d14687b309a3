#pragma once
// What every live link to a modem program does on its QTcpSocket: connect
// without waiting, report errors and closing, reconnect after a lost link, and
// start a new byte stream with every connection. The protocol on top (AGW
// frames, KISS records) is the subclass's.

#include <QAbstractSocket>
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <span>

class QTcpSocket;

namespace varne4 {

class TcpLink : public QObject {
    Q_OBJECT
public:
    // What the operator is told about the link.
    enum class Phase {
        Connecting,
        Connected,
        Refused, // the last attempt to connect failed
        Closed,  // never opened, closed by us, or lost after it was made
    };

    ~TcpLink() override;

    // Logs host and port, closes a link that is not closed, starts connecting
    // without waiting.
    void open(const QString& host, quint16 port);
    // Sends what the peer needs to start delivering frames; nothing when not
    // connected or when the protocol has nothing to ask.
    virtual void registerWithEngine() {}
    // Closes for good (no reconnection after this).
    void close();
    // Seconds between reconnection attempts after the link closed; 0 = never.
    void setReconnectSeconds(int seconds);

    QAbstractSocket::SocketState state() const;
    bool isClosed() const { return state() == QAbstractSocket::UnconnectedState; }
    Phase phase() const;
    // "host:port" as opened; empty before open().
    QString peer() const;
    // Milliseconds until the next attempt to connect; -1 when none is due.
    int reconnectRemainingMs() const;
    // "AGW" or "KISS": the word that names the link in the status log.
    const QString& kindName() const { return kindName_; }

signals:
    // A status-log entry (without stamp).
    void status(const QString& text);
    // One frame for the pipeline's live door: the port (command) byte, then the AX.25 frame.
    void rawFrame(const QByteArray& data);
    void stateChanged();

protected:
    TcpLink(QString kindName, QObject* parent);

    // A new byte stream begins: partial frames of the old one are forgotten.
    virtual void resetStream() = 0;
    // Bytes as they arrive. A receiver of rawFrame may close or reopen the link
    // from inside the signal; check streamAlive() after each frame handed on.
    virtual void takeBytes(std::span<const std::uint8_t> bytes) = 0;
    // Called once the connection is made and announced.
    virtual void connectionMade() {}

    quint64 generation() const { return generation_; }
    bool streamAlive(quint64 generation) const { return generation == generation_; }
    // The stream is out of step: log, drop the connection, and retry if asked to.
    void protocolError(const QString& text);
    void send(const QByteArray& bytes);
    bool isConnected() const { return state() == QAbstractSocket::ConnectedState; }
    int reconnectSeconds() const { return reconnectSeconds_; }

private:
    void onConnected();
    void onReadyRead();
    void onError(QAbstractSocket::SocketError error);
    void onDisconnected();
    void scheduleReconnect();
    void reconnect();
    void startConnecting();
    // Aborts the socket without treating it as a lost link.
    void dropSocket();

    const QString kindName_;
    QTcpSocket* socket_;
    QTimer reconnectTimer_;
    QString host_;
    quint16 port_ = 0;
    int reconnectSeconds_ = 0;
    bool closing_ = false;
    bool dropping_ = false;
    bool attemptFailed_ = false; // the last attempt ended before the connection was made
    bool madeThisAttempt_ = false;
    // Bumped whenever the byte stream starts anew.
    quint64 generation_ = 0;
};

} // namespace varne4

#pragma once
// The client side of the AGW Packet Engine TCP interface on a QTcpSocket:
// connect, register for raw monitoring, hand every 'K' frame on, report 'G'.

#include <QAbstractSocket>
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include "intake/agw_frame.h"

class QTcpSocket;

namespace varne4 {

class AgwLink : public QObject {
    Q_OBJECT
public:
    explicit AgwLink(QObject* parent = nullptr);
    ~AgwLink() override;

    // OpenAgwLink: logs host and port, closes a link that is not closed, starts
    // connecting without waiting.
    void open(const QString& host, quint16 port);
    // Command1_Click: sends 'G' then 'k' when connected; otherwise nothing.
    void registerWithEngine();
    // Closes for good (no reconnection after this).
    void close();
    // Seconds between reconnection attempts after the link closed; 0 = never.
    void setReconnectSeconds(int seconds);

    QAbstractSocket::SocketState state() const;
    bool isClosed() const { return state() == QAbstractSocket::UnconnectedState; }

signals:
    // A status-log entry (without stamp).
    void status(const QString& text);
    // The data part of one 'K' frame: port byte, then the AX.25 frame.
    void rawFrame(const QByteArray& data);
    void stateChanged();

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
    void handleFrame(const agw::Frame& frame);

    QTcpSocket* socket_;
    QTimer reconnectTimer_;
    QString host_;
    quint16 port_ = 0;
    int reconnectSeconds_ = 0;
    bool firstConnect_ = true;
    bool closing_ = false;
    bool dropping_ = false;
    // Bumped whenever the byte stream starts anew.
    quint64 generation_ = 0;
    agw::FrameSplitter splitter_;
};

} // namespace varne4

#pragma once
// A loopback modem program: the server side of the AGW Packet Engine interface
// and of a KISS TCP port, playing the frames of a FrameSource to every AGW client
// that asked for raw frames and to every KISS client. It lets the station run
// (and be tested) without a radio or a modem program.

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <memory>
#include <vector>

#include "intake/agw_frame.h"
#include "sim/frame_source.h"

class QTcpServer;
class QTcpSocket;

namespace varne4 {

class ModemSimulator : public QObject {
    Q_OBJECT
public:
    // A client that does not read its frames loses new ones beyond this much
    // unsent data, as it would with a real engine, instead of growing our memory.
    static constexpr qint64 kMaxPendingBytesPerClient = 4 * 1024 * 1024;
    // Frames played in one timer tick at most, so a high rate never stalls the event loop.
    static constexpr int kMaxFramesPerTick = 500;
    // Connections beyond this are refused at once.
    static constexpr int kMaxClients = 64;

    explicit ModemSimulator(std::unique_ptr<FrameSource> source, QObject* parent = nullptr);
    ~ModemSimulator() override;

    // AGW interface on 127.0.0.1; port 0 takes a free port. False (see errorString) when it cannot.
    bool listen(quint16 port = 0);
    quint16 port() const;
    // KISS TCP port on 127.0.0.1, beside or instead of the AGW interface.
    bool listenKiss(quint16 port = 0);
    quint16 kissPort() const;
    QString errorString() const;

    // A fixed pace instead of the source's own; 0 or less returns to the source's pace.
    void setRate(double framesPerSecond);

    int clientCount() const { return static_cast<int>(clients_.size()); }
    int monitoringClientCount() const;
    // Frames taken from the source and played so far.
    quint64 framesPlayed() const { return played_; }

    // The 'G' reply's text, NUL included, as engines send it.
    static QByteArray portDescription();
    // The 'K' frame that carries one raw frame; the header names its AX.25 addresses.
    static std::vector<std::uint8_t> rawFrame(const std::vector<std::uint8_t>& data);
    // The KISS record that carries one raw frame (its first byte is the command byte).
    static std::vector<std::uint8_t> kissRecord(const std::vector<std::uint8_t>& data);

signals:
    void clientsChanged();
    // The source has run out; clients stay connected.
    void finished();

private:
    struct Client {
        QPointer<QTcpSocket> socket;
        agw::FrameSplitter splitter;
        bool kiss = false; // a KISS client hears every frame from the start
        bool monitoring = false;
        // Out of step: what was answered still goes out, then the connection closes.
        bool closing = false;
    };

    void onNewConnection(QTcpServer* server, bool kiss);
    void onReadyRead(QTcpSocket* socket);
    void removeClient(QTcpSocket* socket);
    void handleRequest(Client& client, const agw::Frame& request);
    Client* find(QTcpSocket* socket);

    void updatePlayback();
    void onTick();
    bool playOne();
    void send(QTcpSocket* socket, const std::vector<std::uint8_t>& bytes);

    std::unique_ptr<FrameSource> source_;
    QTcpServer* server_;
    QTcpServer* kissServer_;
    QString errorString_;
    std::vector<std::unique_ptr<Client>> clients_;
    QTimer timer_;
    QElapsedTimer clock_;
    double rate_ = 0;
    quint64 played_ = 0;
    quint64 playedSinceStart_ = 0;
    bool playing_ = false;
    bool exhausted_ = false;
};

} // namespace varne4

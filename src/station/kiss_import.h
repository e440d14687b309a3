#pragma once
// Imports KISS files through the pipeline in short slices on the event loop, so
// the window stays responsive and live frames and transfers are still handled.

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <optional>

#include "base/utc_time.h"
#include "kisslog/kiss_file_reader.h"

namespace varne4 {

class Station;

class KissImport : public QObject {
    Q_OBJECT
public:
    explicit KissImport(Station& station, QObject* parent = nullptr);
    ~KissImport() override;

    // Imports the files in order; ignored while an import runs.
    void start(const QStringList& files);
    // Stops after the record being handled.
    void cancel();
    bool running() const { return running_; }

    // Longest stretch of work before the event loop gets its turn.
    void setSliceMs(int ms) { sliceMs_ = ms; }

    // The files of the current or last import, as handed to start().
    const QStringList& files() const { return files_; }
    int fileIndex() const { return fileIndex_; }
    int fileCount() const { return static_cast<int>(files_.size()); }
    quint64 recordsDone() const { return records_; }

signals:
    // After every slice: the file being read (0-based), records handed on so far,
    // and the bytes read of the current file.
    void progress(int fileIndex, int fileCount, quint64 records, quint64 bytesRead, quint64 fileSize);
    void finished(bool cancelled);

private:
    void step();
    bool openNext();
    void end(bool cancelled);
    void readStamp(const KissFileReader::Item& item);
    void countFrame();
    // "<file>: N records, M satellite frames (H housekeeping, C memory check, G message), [D already known, ]K queued
    // for upload"
    void logSummary();

    Station& station_;
    QStringList files_;
    int fileIndex_ = -1;
    quint64 records_ = 0;
    // What the current file held and what became of it, for its summary line.
    struct FileCounts {
        quint64 records = 0; // of any kind, time stamps included
        quint64 satellite = 0, housekeeping = 0, memoryCheck = 0, message = 0;
        quint64 known = 0;               // frames the station database already had (the same file imported before)
        std::uint64_t uploadsBefore = 0; // the station's count when the file was opened
    };
    FileCounts counts_;
    // The time of the stamp record just read; it belongs to the frame record after it.
    std::optional<DateTime> recorded_;
    bool stampProblemReported_ = false; // once per file
    std::unique_ptr<KissFileReader> reader_;
    QTimer timer_;
    int sliceMs_ = 8;
    bool running_ = false;
    bool cancelRequested_ = false;
};

} // namespace varne4

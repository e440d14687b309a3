#include "station/kiss_import.h"

#include <QDir>

#include <utility>

#include "base/compat_texts.h"
#include "base/paths.h"
#include "kisslog/recorded_time.h"
#include "station/station.h"

namespace varne4 {

KissImport::KissImport(Station& station, QObject* parent) : QObject(parent), station_(station) {
    timer_.setInterval(0);
    connect(&timer_, &QTimer::timeout, this, &KissImport::step);
}

KissImport::~KissImport() = default;

void KissImport::start(const QStringList& files) {
    if (running_) return;
    files_ = files;
    fileIndex_ = -1;
    records_ = 0;
    reader_.reset();
    cancelRequested_ = false;
    running_ = true;
    timer_.start();
}

void KissImport::cancel() {
    if (running_) cancelRequested_ = true;
}

bool KissImport::openNext() {
    while (++fileIndex_ < files_.size()) {
        const QString& file = files_[fileIndex_];
        station_.log(std::string(texts::kProcessing) + QDir::toNativeSeparators(file).toStdString());
        auto reader = std::make_unique<KissFileReader>();
        if (reader->open(pathFromUtf8(file.toStdString()))) {
            reader_ = std::move(reader);
            counts_ = FileCounts{};
            counts_.uploadsBefore = station_.uploadsQueued();
            recorded_.reset();
            stampProblemReported_ = false;
            return true;
        }
        // One unreadable file does not end the import of the others.
        station_.log("cannot open " + file.toStdString() + ": " + reader->error());
    }
    return false;
}

void KissImport::step() {
    if (cancelRequested_) {
        if (reader_) logSummary(); // as far as it got
        return end(true);
    }
    if (!reader_) {
        // Each file starts in a slice of its own, after the event loop had its turn.
        if (!openNext()) return end(false);
        emit progress(fileIndex_, fileCount(), records_, 0, reader_->fileSize());
        return;
    }
    QElapsedTimer slice;
    slice.start();
    for (int n = 0;; ++n) {
        if ((n & 63) == 63 && slice.elapsed() >= sliceMs_) break;
        auto item = reader_->next();
        if (!item) {
            if (!reader_->error().empty())
                station_.log("error reading " + files_[fileIndex_].toStdString() + ": " + reader_->error());
            else if (counts_.records == 0)
                // Most likely the wrong file was chosen; say so rather than import nothing in silence.
                station_.log(files_[fileIndex_].toStdString() + ": no KISS records found");
            logSummary();
            emit progress(fileIndex_, fileCount(), records_, reader_->bytesRead(), reader_->fileSize());
            reader_.reset();
            return;
        }
        ++counts_.records;
        switch (item->kind) {
        case KissFileReader::Kind::Frame:
            ++records_;
            station_.takeImportedRecord(item->content, std::exchange(recorded_, std::nullopt),
                                        files_[fileIndex_].toStdString());
            countFrame();
            if (station_.lastRecord().known) ++counts_.known;
            break;
        case KissFileReader::Kind::Oversize:
            recorded_.reset();
            station_.log(files_[fileIndex_].toStdString() + ": record at byte offset " + std::to_string(item->offset) +
                         " is longer than 512 bytes, skipped");
            break;
        case KissFileReader::Kind::TimeStamp:
            readStamp(*item);
            break;
        }
        if (cancelRequested_) break;
    }
    emit progress(fileIndex_, fileCount(), records_, reader_->bytesRead(), reader_->fileSize());
}

void KissImport::countFrame() {
    const FramePipeline& pipeline = station_.pipeline();
    if (!pipeline.lastWasSatellite()) return;
    ++counts_.satellite;
    switch (pipeline.lastDecode().type) {
    case BeaconType::Housekeeping:
        ++counts_.housekeeping;
        break;
    case BeaconType::MemoryCheck:
        ++counts_.memoryCheck;
        break;
    case BeaconType::Message:
        ++counts_.message;
        break;
    case BeaconType::Unknown:
        break;
    }
}

void KissImport::logSummary() {
    const auto n = [](std::uint64_t v) { return std::to_string(v); };
    station_.log(files_[fileIndex_].toStdString() + ": " + n(counts_.records) + " records, " + n(counts_.satellite) +
                 " satellite frames (" + n(counts_.housekeeping) + " housekeeping, " + n(counts_.memoryCheck) +
                 " memory check, " + n(counts_.message) + " message), " +
                 (counts_.known ? n(counts_.known) + " already known, " : std::string()) +
                 n(station_.uploadsQueued() - counts_.uploadsBefore) + " queued for upload");
}

void KissImport::readStamp(const KissFileReader::Item& item) {
    const kiss::RecordedTime stamp = kiss::readRecordedTime(item.content, station_.clock().utcNow());
    recorded_ = stamp.time;
    if (stamp.time || stampProblemReported_) return;
    stampProblemReported_ = true;
    // Once per file: a tool that writes bad stamps writes them all.
    station_.log(files_[fileIndex_].toStdString() + ": " + kiss::stampProblemText(stamp) + " (record at byte offset " +
                 std::to_string(item.offset) + "); such frames get the time of the import");
}

void KissImport::end(bool cancelled) {
    timer_.stop();
    reader_.reset();
    running_ = false;
    cancelRequested_ = false;
    emit finished(cancelled);
}

} // namespace varne4

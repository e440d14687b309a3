#include "app/decode_command.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>
#include <utility>

#include "base/paths.h"
#include "base/system_clock.h"
#include "intake/frame_pipeline.h"
#include "kisslog/kiss_file_reader.h"
#include "kisslog/recorded_time.h"
#include "station/csv_writer.h"

namespace varne4 {
namespace {

// How the bytes of a text are to be read.
enum class Encoding {
    Latin1, // frames and messages: one character a byte
    Utf8,   // file names: UTF-8 where it is valid; a byte that is not, in its Latin-1 reading
};

// The length of the valid UTF-8 sequence that starts at s[i], 0 when there is none
// (a stray continuation byte, an overlong form, a surrogate, beyond U+10FFFF, cut off).
std::size_t utf8SequenceLength(std::string_view s, std::size_t i) {
    const auto b = [&s](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = b(i);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else
        return 0;
    if (s.size() - i < length || b(i + 1) < low || b(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (b(i + k) < 0x80 || b(i + k) > 0xBF) return 0;
    return length;
}

void appendLatin1AsUtf8(std::string& out, unsigned char c) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
}

// A JSON string in UTF-8 whatever the bytes: control characters escaped, and every
// line a JSON parser can read.
void appendJsonString(std::string& out, std::string_view s, Encoding encoding) {
    static constexpr char hex[] = "0123456789abcdef";
    out += '"';
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            const char esc[6] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 0xF]};
            out.append(esc, 6);
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (const std::size_t n = encoding == Encoding::Utf8 ? utf8SequenceLength(s, i) : 0; n > 0) {
            out.append(s.substr(i, n));
            i += n;
            continue;
        } else {
            appendLatin1AsUtf8(out, c);
        }
        ++i;
    }
    out += '"';
}

class DecodeEvents final : public PipelineEvents {
public:
    DecodeEvents(std::FILE* err, const std::string*& file) : err_(err), file_(file) {}
    bool wantsUploadBody() const override { return false; }
    void warning(std::string_view text) override {
        std::fprintf(err_, "varne4-decoder: %s: %.*s\n", file_->c_str(), static_cast<int>(text.size()), text.data());
    }

private:
    std::FILE* err_;
    const std::string*& file_;
};

class Decoder {
public:
    Decoder(DecodeFormat format, std::FILE* out, std::FILE* err)
        : format_(format), out_(out), err_(err), events_(err, currentFile_),
          pipeline_(config_, clock_, displayFormat_, events_) {
        buffer_.reserve(1 << 17);
        if (format_ == DecodeFormat::Csv) appendCsvHeader(buffer_);
    }

    bool decodeFile(const std::string& file) {
        currentFile_ = &file;
        KissFileReader reader;
        if (!reader.open(pathFromUtf8(file))) {
            flush();
            std::fprintf(err_, "varne4-decoder: cannot open %s: %s\n", file.c_str(), reader.error().c_str());
            return false;
        }
        recorded_.reset();
        bool stampProblemReported = false;
        std::uint64_t items = 0;
        while (!stopped() && !outputFailed_) {
            auto item = reader.next();
            if (!item) break;
            ++items;
            switch (item->kind) {
            case KissFileReader::Kind::TimeStamp: {
                const kiss::RecordedTime stamp = kiss::readRecordedTime(item->content, clock_.utcNow());
                recorded_ = stamp.time;
                if (!stamp.time && !stampProblemReported) {
                    stampProblemReported = true; // once per file
                    flush();
                    std::fprintf(err_,
                                 "varne4-decoder: %s: %s (record at byte offset %llu); \"recorded\" is null for "
                                 "such frames\n",
                                 file.c_str(), kiss::stampProblemText(stamp).c_str(),
                                 static_cast<unsigned long long>(item->offset));
                }
                break;
            }
            case KissFileReader::Kind::Oversize:
                recorded_.reset();
                std::fprintf(err_, "varne4-decoder: %s: record at byte offset %llu is longer than 512 bytes, skipped\n",
                             file.c_str(), static_cast<unsigned long long>(item->offset));
                break;
            case KissFileReader::Kind::Frame:
                // A stamp gives the time of the one frame record after it.
                takeFrame(file, item->content, std::exchange(recorded_, std::nullopt));
                break;
            }
            if (buffer_.size() > (1 << 16)) flush();
        }
        if (stopped() || outputFailed_) return false;
        if (!reader.error().empty()) {
            flush();
            std::fprintf(err_, "varne4-decoder: error reading %s: %s\n", file.c_str(), reader.error().c_str());
            return false;
        }
        if (items == 0) {
            // Most likely not a KISS recording at all: a failure, not an empty success.
            flush();
            std::fprintf(err_, "varne4-decoder: %s: no KISS records found\n", file.c_str());
            return false;
        }
        return true;
    }

    // One record (port byte and frame) of `source` with its time; satellite frames are written.
    void takeFrame(const std::string& source, std::span<const std::uint8_t> record,
                   const std::optional<DateTime>& recorded) {
        currentFile_ = &source;
        recorded_ = recorded;
        pipeline_.TakeImportedRecord(record, recorded_);
        if (pipeline_.lastWasSatellite()) writeFrame(source);
        recorded_.reset();
        if (buffer_.size() > (1 << 16)) flush();
    }

    // Hands the buffered lines (whole lines only) to the output; false, once and for
    // all, when the output cannot take them (a full disk, a closed pipe).
    bool flush() {
        if (!buffer_.empty() && !outputFailed_ &&
            std::fwrite(buffer_.data(), 1, buffer_.size(), out_) != buffer_.size())
            outputFailed_ = true;
        buffer_.clear();
        return !outputFailed_;
    }
    void setStopRequest(const StopRequest* stop) { stop_ = stop; }
    bool stopped() const { return stop_ && (*stop_)(); }
    bool outputFailed() const { return outputFailed_; }

private:
    void writeFrame(const std::string& file) {
        const DecodeResult& r = pipeline_.lastDecode();
        if (format_ == DecodeFormat::Csv) {
            if (r.type == BeaconType::Housekeeping && r.historyAppended)
                appendCsvRow(buffer_, recorded_ ? utcTimestamp(*recorded_) : std::string(),
                             pipeline_.history().newest().values);
            return;
        }
        const PanelState& panel = pipeline_.panel();
        std::string& o = buffer_;
        o += "{\"file\":";
        appendJsonString(o, file, Encoding::Utf8);
        o += ",\"recorded\":";
        if (recorded_)
            appendJsonString(o, utcTimestamp(*recorded_), Encoding::Latin1);
        else
            o += "null";
        o += ",\"beacon\":\"";
        o += beaconTypeName(r.type);
        o += "\",\"beacon_line\":";
        appendJsonString(o, panel.beaconLine, Encoding::Latin1);
        o += ",\"frame\":";
        std::string_view hex = pipeline_.hexText();
        if (!hex.empty()) hex.remove_suffix(1);
        appendJsonString(o, hex, Encoding::Latin1);
        switch (r.type) {
        case BeaconType::Housekeeping:
            if (!r.historyAppended) {
                o += ",\"values\":null,\"texts\":null,\"uptime\":null";
                break;
            }
            o += ",\"values\":[";
            for (std::size_t i = 0; i < kHousekeepingSlots; ++i) {
                if (i) o += ',';
                appendExactNumber(o, pipeline_.history().newest().values[i]);
            }
            o += "],\"texts\":{";
            for (int i = 0; i < kHousekeepingSlots; ++i)
                appendSlot(o, i, i == 0);
            o += "},\"uptime\":";
            appendJsonString(o, panel.uptimeText, Encoding::Latin1);
            break;
        case BeaconType::MemoryCheck:
            if (r.shortFrame) {
                o += ",\"texts\":null";
                break;
            }
            o += ",\"texts\":{";
            for (int i = 21; i < kPanelSlots; ++i)
                appendSlot(o, i, i == 21);
            o += '}';
            break;
        case BeaconType::Message:
            o += ",\"message\":";
            appendJsonString(o, panel.messages.back(), Encoding::Latin1);
            break;
        case BeaconType::Unknown:
            break;
        }
        o += "}\n";
    }

    void appendSlot(std::string& o, int slot, bool first) {
        static constexpr const char* keys[kPanelSlots] = {
            "\"0\":",  "\"1\":",  "\"2\":",  "\"3\":",  "\"4\":",  "\"5\":",  "\"6\":",  "\"7\":",  "\"8\":",
            "\"9\":",  "\"10\":", "\"11\":", "\"12\":", "\"13\":", "\"14\":", "\"15\":", "\"16\":", "\"17\":",
            "\"18\":", "\"19\":", "\"20\":", "\"21\":", "\"22\":", "\"23\":", "\"24\":", "\"25\":", "\"26\":"};
        if (!first) o += ',';
        o += keys[slot];
        appendJsonString(o, pipeline_.panel().slotText[static_cast<std::size_t>(slot)], Encoding::Latin1);
    }

    DecodeFormat format_;
    std::FILE* out_;
    std::FILE* err_;
    const std::string* currentFile_ = nullptr;
    std::optional<DateTime> recorded_; // of the next frame record
    Configuration config_;
    SystemClock clock_;
    DisplayFormat displayFormat_;
    DecodeEvents events_;
    FramePipeline pipeline_;
    std::string buffer_;
    const StopRequest* stop_ = nullptr;
    bool outputFailed_ = false;
};

} // namespace

struct FrameDecoder::Impl {
    Impl(DecodeFormat format, std::FILE* out, std::FILE* err) : decoder(format, out, err) {}
    Decoder decoder;
};

FrameDecoder::FrameDecoder(DecodeFormat format, std::FILE* out, std::FILE* err)
    : impl_(std::make_unique<Impl>(format, out, err)), out_(out), err_(err) {}

FrameDecoder::~FrameDecoder() = default;

bool FrameDecoder::take(const std::string& source, std::span<const std::uint8_t> record,
                        const std::optional<DateTime>& recorded) {
    impl_->decoder.takeFrame(source, record, recorded);
    return !impl_->decoder.outputFailed();
}

bool FrameDecoder::finish() {
    if (impl_->decoder.flush() && std::fflush(out_) == 0 && !std::ferror(out_)) return true;
    std::fprintf(err_, "varne4-decoder: cannot write the output: %s\n", std::strerror(errno));
    return false;
}

namespace {

// Set from the signal handler; read between two frames.
volatile std::sig_atomic_t g_stopSignal = 0;
extern "C" void onStopSignal(int sig) { g_stopSignal = sig; }

} // namespace

int runDecode(const std::vector<std::string>& files, DecodeFormat format, std::FILE* out, std::FILE* err,
              const StopRequest& stop) {
    Decoder decoder(format, out, err);
    decoder.setStopRequest(stop ? &stop : nullptr);
    int status = 0;
    for (const auto& file : files) {
        if (decoder.stopped() || decoder.outputFailed()) break;
        if (!decoder.decodeFile(file)) status = 1;
    }
    // Every write, the last flush included, must have reached the output: a decode
    // that lost lines on a full disk is no success.
    const bool written = decoder.flush() && std::fflush(out) == 0 && !std::ferror(out);
    if (!written) {
        std::fprintf(err, "varne4-decoder: cannot write the output: %s\n", std::strerror(errno));
        return 1;
    }
    if (decoder.stopped()) return kInterrupted;
    return status;
}

int decodeMain(const std::vector<std::string>& args) {
    DecodeFormat format = DecodeFormat::Jsonl;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::optional<std::string> formatName;
        if (a == "--format" && i + 1 < args.size())
            formatName = args[++i];
        else if (a.starts_with("--format="))
            formatName = a.substr(9);
        if (formatName) {
            if (*formatName == "jsonl")
                format = DecodeFormat::Jsonl;
            else if (*formatName == "csv")
                format = DecodeFormat::Csv;
            else {
                std::fprintf(stderr, "varne4-decoder decode: unknown format \"%s\" (jsonl or csv)\n",
                             formatName->c_str());
                return 2;
            }
        } else if (a == "--") {
            files.insert(files.end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        } else if (a.starts_with("--")) {
            std::fprintf(stderr, "varne4-decoder decode: unknown option %s\n", a.c_str());
            return 2;
        } else {
            files.push_back(a);
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: varne4-decoder decode [--format jsonl|csv] FILE...\n");
        return 2;
    }
    // A termination signal ends the decode between two lines: what was written
    // stays whole JSON or CSV, never half a line.
    g_stopSignal = 0;
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    const StopRequest stop = [] { return g_stopSignal != 0; };
    const int status = runDecode(files, format, stdout, stderr, stop);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    return status == kInterrupted ? 128 + static_cast<int>(g_stopSignal) : status;
}

} // namespace varne4

#include "app/decode_command.h"

#include <filesystem>
#include <optional>
#include <string_view>

#include "base/paths.h"
#include "base/system_clock.h"
#include "intake/frame_pipeline.h"
#include "kisslog/kiss_file_reader.h"
#include "station/csv_writer.h"

namespace varne4 {
namespace {

// Latin-1 (or ASCII) bytes as a JSON string in UTF-8, control characters escaped.
void appendJsonString(std::string& out, std::string_view s, bool latin1) {
    static constexpr char hex[] = "0123456789abcdef";
    out += '"';
    std::size_t run = 0; // start of the pending run of bytes that need no change
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        const bool plain = c >= 0x20 && c != '"' && c != '\\' && c != 0x7F && (c < 0x80 || !latin1);
        if (plain) continue;
        out.append(s.data() + run, i - run);
        run = i + 1;
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            const char esc[6] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 0xF]};
            out.append(esc, 6);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    out.append(s.data() + run, s.size() - run);
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
        if (format_ == DecodeFormat::Csv) appendCsvHeader(buffer_, "recorded");
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
        std::uint64_t items = 0;
        while (auto item = reader.next()) {
            ++items;
            switch (item->kind) {
            case KissFileReader::Kind::TimeStamp: {
                std::string_view text(reinterpret_cast<const char*>(item->content.data()) + 1,
                                      item->content.size() - 1);
                if (text.ends_with(" UTC")) text.remove_suffix(4);
                recorded_ = std::string(text);
                break;
            }
            case KissFileReader::Kind::Oversize:
                std::fprintf(err_, "varne4-decoder: %s: record at byte offset %llu is longer than 512 bytes, skipped\n",
                             file.c_str(), static_cast<unsigned long long>(item->offset));
                break;
            case KissFileReader::Kind::Frame:
                pipeline_.TakeImportedRecord(item->content);
                if (pipeline_.lastWasSatellite()) writeFrame(file);
                break;
            }
            if (buffer_.size() > (1 << 16)) flush();
        }
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

    void flush() {
        if (!buffer_.empty()) std::fwrite(buffer_.data(), 1, buffer_.size(), out_);
        buffer_.clear();
    }

private:
    void writeFrame(const std::string& file) {
        const DecodeResult& r = pipeline_.lastDecode();
        if (format_ == DecodeFormat::Csv) {
            if (r.type == BeaconType::Housekeeping && r.historyAppended)
                appendCsvRow(buffer_, recorded_ ? std::string_view(*recorded_) : std::string_view(),
                             pipeline_.history().newest().values);
            return;
        }
        const PanelState& panel = pipeline_.panel();
        std::string& o = buffer_;
        o += "{\"file\":";
        appendJsonString(o, file, false);
        o += ",\"recorded\":";
        if (recorded_)
            appendJsonString(o, *recorded_, true);
        else
            o += "null";
        o += ",\"beacon\":\"";
        o += beaconTypeName(r.type);
        o += "\",\"beacon_line\":";
        appendJsonString(o, panel.beaconLine, true);
        o += ",\"frame\":";
        std::string_view hex = pipeline_.hexText();
        if (!hex.empty()) hex.remove_suffix(1);
        appendJsonString(o, hex, false);
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
            appendJsonString(o, panel.uptimeText, false);
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
            appendJsonString(o, panel.messages.back(), true);
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
        appendJsonString(o, pipeline_.panel().slotText[static_cast<std::size_t>(slot)], true);
    }

    DecodeFormat format_;
    std::FILE* out_;
    std::FILE* err_;
    const std::string* currentFile_ = nullptr;
    std::optional<std::string> recorded_;
    Configuration config_;
    SystemClock clock_;
    DisplayFormat displayFormat_;
    DecodeEvents events_;
    FramePipeline pipeline_;
    std::string buffer_;
};

} // namespace

int runDecode(const std::vector<std::string>& files, DecodeFormat format, std::FILE* out, std::FILE* err) {
    Decoder decoder(format, out, err);
    int status = 0;
    for (const auto& file : files)
        if (!decoder.decodeFile(file)) status = 1;
    decoder.flush();
    std::fflush(out);
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
    return runDecode(files, format, stdout, stderr);
}

} // namespace varne4

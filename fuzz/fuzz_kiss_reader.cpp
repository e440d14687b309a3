// KISS record reader: any bytes, any chunking (see ChunkPlan; flag bit 0 also
// reads the stream from a file). The records do not depend on how
// the stream was cut, each starts at a FEND, none exceeds the frame buffer, the
// file reader gives the same records, and escaping a frame then reading it gives
// the frame back.

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "kisslog/kiss.h"
#include "kisslog/kiss_file_reader.h"

using namespace varne4;

namespace {

struct Rec {
    std::vector<std::uint8_t> content;
    std::uint64_t offset;
    bool oversize;
    friend bool operator==(const Rec&, const Rec&) = default;
};

std::vector<Rec> readAll(kiss::RecordSplitter& splitter, const std::vector<fuzz::Bytes>& chunks) {
    std::vector<Rec> out;
    for (auto chunk : chunks) {
        fuzz::Bytes input = chunk;
        while (auto r = splitter.next(input)) {
            out.push_back({{r->content.begin(), r->content.end()}, r->offset, r->oversize});
            FUZZ_CHECK(input.size() <= chunk.size());
        }
        FUZZ_CHECK(input.empty());
    }
    return out;
}

std::vector<Rec> readStream(fuzz::Bytes stream) {
    kiss::RecordSplitter splitter;
    return readAll(splitter, stream.empty() ? std::vector<fuzz::Bytes>{} : std::vector<fuzz::Bytes>{stream});
}

// One file per fuzzing process, removed when the process ends.
struct ScratchFile {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("varne4_fuzz_kiss_" + std::to_string(::getpid()) + ".kss");
    ~ScratchFile() {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
};

const std::filesystem::path& scratchFile() {
    static const ScratchFile file;
    return file.path;
}

void checkFileReader(fuzz::Bytes stream, const std::vector<Rec>& expected) {
    {
        std::ofstream out(scratchFile(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(stream.data()), static_cast<std::streamsize>(stream.size()));
        FUZZ_CHECK(out.good());
    }
    KissFileReader reader;
    FUZZ_CHECK(reader.open(scratchFile()));
    FUZZ_CHECK(reader.fileSize() == stream.size());
    std::size_t i = 0;
    while (auto item = reader.next()) {
        FUZZ_CHECK(i < expected.size());
        const Rec& e = expected[i++];
        FUZZ_CHECK(item->offset == e.offset);
        FUZZ_CHECK(std::equal(item->content.begin(), item->content.end(), e.content.begin(), e.content.end()));
        const auto kind = e.oversize                           ? KissFileReader::Kind::Oversize
                          : kiss::isTimeStampRecord(e.content) ? KissFileReader::Kind::TimeStamp
                                                               : KissFileReader::Kind::Frame;
        FUZZ_CHECK(item->kind == kind);
    }
    FUZZ_CHECK(i == expected.size());
    FUZZ_CHECK(reader.error().empty());
    FUZZ_CHECK(reader.bytesRead() == stream.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::ChunkPlan plan(fuzz::Bytes(data, size));
    const fuzz::Bytes stream = plan.stream();

    const auto whole = readStream(stream);
    kiss::RecordSplitter splitter;
    const auto cut = readAll(splitter, plan.chunks());
    FUZZ_CHECK(whole == cut);
    FUZZ_CHECK(splitter.position() == stream.size());

    std::uint64_t previous = 0;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        const Rec& r = whole[i];
        FUZZ_CHECK(r.offset < stream.size());
        FUZZ_CHECK(stream[r.offset] == kiss::FEND);
        FUZZ_CHECK(i == 0 || r.offset > previous);
        previous = r.offset;
        if (r.oversize) {
            FUZZ_CHECK(r.content.empty());
        } else {
            FUZZ_CHECK(!r.content.empty() && r.content.size() <= kiss::RecordSplitter::kMaxRecord);
            // Written back the way the log writes frames, a record reads the same.
            std::vector<std::uint8_t> escaped;
            kiss::appendFrameRecord(escaped, r.content);
            const auto back = readStream(escaped);
            FUZZ_CHECK(back.size() == 1 && back[0].content == r.content && back[0].offset == 0 && !back[0].oversize);
        }
    }

    // The stream itself as one frame: escaped and read again, it comes back whole,
    // or as one oversize record when the frame buffer cannot hold it.
    {
        std::vector<std::uint8_t> escaped;
        kiss::appendFrameRecord(escaped, stream);
        const auto back = readStream(escaped);
        if (stream.empty()) {
            FUZZ_CHECK(back.empty());
        } else {
            FUZZ_CHECK(back.size() == 1);
            const bool fits = stream.size() <= kiss::RecordSplitter::kMaxRecord;
            FUZZ_CHECK(back[0].oversize == !fits);
            if (fits)
                FUZZ_CHECK(std::equal(stream.begin(), stream.end(), back[0].content.begin(), back[0].content.end()));
        }
    }

    // The file reader is the same splitter over 64 KiB reads; its records must match.
    // A file per input is slow, so only inputs with flag bit 0 set take that way.
    if (plan.flags() & 1) checkFileReader(stream, whole);
    return 0;
}

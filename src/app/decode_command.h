#pragma once
// `decode`: runs recorded KISS files through the import's reader, pipeline and
// decoder and prints what was decoded, for operators who analyse recordings.

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/utc_time.h"

namespace varne4 {

enum class DecodeFormat { Jsonl, Csv };

// Asked between two frames; true ends the decode there.
using StopRequest = std::function<bool()>;
// runDecode's status when `stop` ended it early.
inline constexpr int kInterrupted = -1;

// Returns the exit status: 0; 1 when a file could not be read or the output could
// not be written (said on `err`); kInterrupted when `stop` asked to end.
int runDecode(const std::vector<std::string>& files, DecodeFormat format, std::FILE* out, std::FILE* err,
              const StopRequest& stop = {});

// The same lines for frames handed one at a time (from the station database).
class FrameDecoder {
public:
    FrameDecoder(DecodeFormat format, std::FILE* out, std::FILE* err);
    ~FrameDecoder();
    // `record` is the port byte and the frame; `source` goes where decode names the file.
    // False once the output cannot be written.
    bool take(const std::string& source, std::span<const std::uint8_t> record, const std::optional<DateTime>& recorded);
    // Writes what is buffered; false (said on `err`) when the output lost lines.
    bool finish();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::FILE* out_;
    std::FILE* err_;
};

// Parses `decode` arguments (after the word "decode") and runs it.
int decodeMain(const std::vector<std::string>& args);

} // namespace varne4

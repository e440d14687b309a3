#pragma once
// KISS framing: escaping for the log of the run, and a streaming record reader.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace varne4::kiss {

inline constexpr std::uint8_t FEND = 0xC0;
inline constexpr std::uint8_t FESC = 0xDB;
inline constexpr std::uint8_t TFEND = 0xDC;
inline constexpr std::uint8_t TFESC = 0xDD;
inline constexpr std::uint8_t kTimeStampCommand = 0x09;

// Appends FEND, the escaped bytes, FEND.
void appendFrameRecord(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> data);
// Appends FEND, 0x09, the text (not escaped), FEND.
void appendTimeStampRecord(std::vector<std::uint8_t>& out, std::string_view text);

// Cuts a byte stream into records as KISS receivers do: a FEND ends one record and
// may begin the next, empty records are ignored, and a FESC before anything but
// TFEND/TFESC is dropped. Feed it chunks of any size.
class RecordSplitter {
public:
    // Longest record content: the frame buffer, so that every frame the live
    // link takes and logs is read back.
    static constexpr std::size_t kMaxRecord = 512;

    struct Record {
        std::span<const std::uint8_t> content; // unescaped, without FENDs
        std::uint64_t offset;                  // byte offset of the opening FEND
        bool oversize;                         // content exceeded the maximum (dropped)
    };

    // Consumes bytes from the front of `input` until a record is complete and
    // returns it (its content stays valid until the next call), or nothing when
    // the input ran out first. Bytes of an unfinished record are kept for the next call.
    std::optional<Record> next(std::span<const std::uint8_t>& input);
    // Forgets an unterminated record (end of file) and starts over at offset 0.
    void reset();
    std::uint64_t position() const { return position_; }

private:
    std::vector<std::uint8_t> content_;
    std::uint64_t position_ = 0;
    std::uint64_t recordStart_ = 0;
    bool open_ = false; // a FEND has been seen
    bool escape_ = false;
    bool oversize_ = false;
    bool pendingClear_ = false; // the last returned record's content is still on loan
};

bool isTimeStampRecord(std::span<const std::uint8_t> content);

} // namespace varne4::kiss

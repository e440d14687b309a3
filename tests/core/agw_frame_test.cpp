#include "intake/agw_frame.h"

#include <gtest/gtest.h>

namespace varne4::agw {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes textBytes(std::size_t count) {
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>('a' + i % 26);
    return bytes;
}

Frame makeFrame(char kind, Bytes data, std::uint32_t port = 0, std::string from = {}, std::string to = {}) {
    return Frame{port, kind, 0, std::move(from), std::move(to), std::move(data)};
}

// The frames, encoded back: equal exactly when every header field and the data are.
Bytes encodeAll(const std::vector<Frame>& frames) {
    Bytes stream;
    for (const auto& frame : frames) {
        const auto bytes = encode(frame);
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    }
    return stream;
}

void drainInto(FrameSplitter& splitter, std::vector<Frame>& frames) {
    for (Frame frame; splitter.next(frame) == FrameSplitter::Result::Frame;) frames.push_back(frame);
}

TEST(AgwFrame, RequestIsAllZeroButTheKindByte) {
    Bytes expected(kHeaderSize, 0);
    expected[4] = 'G';
    const auto frame = request('G');
    EXPECT_EQ(Bytes(frame.begin(), frame.end()), expected);
}

TEST(AgwFrame, EncodeWritesLittleEndianHeaderFields) {
    Frame frame = makeFrame('K', {1, 2, 3}, 0x04030201, "CALL", "DEST");
    frame.pid = 0xF0;
    Bytes expected{1, 2, 3, 4, 'K', 0, 0xF0, 0, 'C', 'A', 'L', 'L'};
    expected.resize(18);
    expected.insert(expected.end(), {'D', 'E', 'S', 'T'});
    expected.resize(28);
    expected.insert(expected.end(), {3, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3});
    EXPECT_EQ(encode(frame), expected);
}

// Whatever the engine's segmentation (split anywhere, merged, one byte at a time),
// exactly the frames sent come out, in order.
TEST(AgwSplitter, GivesTheFramesSentWhateverTheSegmentation) {
    const std::vector<Frame> frames{
        makeFrame('K', {0x00, 0xA2, 0x82, 0x60, 0xAC, 0x03, 0xF0, 0xFF}, 0, "QB0VRS", "QA0VRN"),
        makeFrame('G', textBytes(53)),
        makeFrame('K', {}, 1),
        makeFrame('X', textBytes(3), 2, "ABCDEFGHIJ", "K"), // callsign filling the whole field
        makeFrame('K', textBytes(300)),
    };
    const Bytes stream = encodeAll(frames);
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        SCOPED_TRACE(cut);
        FrameSplitter splitter;
        std::vector<Frame> got;
        splitter.feed(std::span(stream).first(cut));
        drainInto(splitter, got);
        splitter.feed(std::span(stream).subspan(cut));
        drainInto(splitter, got);
        ASSERT_EQ(encodeAll(got), stream);
        EXPECT_EQ(splitter.buffered(), 0u);
    }
    FrameSplitter trickle;
    std::vector<Frame> got;
    for (std::uint8_t byte : stream) {
        trickle.feed(std::span(&byte, 1));
        drainInto(trickle, got);
    }
    EXPECT_EQ(encodeAll(got), stream);
}

TEST(AgwSplitter, OversizeLengthIsAProtocolErrorUntilReset) {
    for (std::uint32_t dataLen : {kMaxDataLen, kMaxDataLen + 1, 0xFFFFFFFFu}) {
        SCOPED_TRACE(dataLen);
        Bytes header = encode(makeFrame('K', {}));
        for (int i = 0; i < 4; ++i) header[28 + i] = static_cast<std::uint8_t>(dataLen >> (8 * i));
        FrameSplitter splitter;
        splitter.feed(header);
        Frame frame;
        if (dataLen == kMaxDataLen) { // legal, waits for its data
            EXPECT_EQ(splitter.next(frame), FrameSplitter::Result::NeedMore);
            continue;
        }
        EXPECT_EQ(splitter.next(frame), FrameSplitter::Result::ProtocolError);
        EXPECT_EQ(splitter.rejectedDataLen(), dataLen);
        // Out of step: even a good frame behind it is not taken.
        splitter.feed(encode(makeFrame('K', {1})));
        EXPECT_EQ(splitter.next(frame), FrameSplitter::Result::ProtocolError);
        splitter.reset();
        splitter.feed(encode(makeFrame('K', {1})));
        ASSERT_EQ(splitter.next(frame), FrameSplitter::Result::Frame);
        EXPECT_EQ(frame.data, Bytes{1});
    }
}

TEST(AgwPortInformation, TextKeepsNMinus21DataCharacters) {
    const std::string prefix = "total number of ports: ";
    const Bytes data300 = textBytes(300);
    const std::string chars(data300.begin(), data300.end());
    const struct {
        const char* name;
        std::uint8_t lowByte;
        Bytes data;
        std::string expected;
    } cases[] = {
        {"no data", 0, {}, "to"},
        {"data ignored when n is 0", 0, textBytes(5), "to"},
        {"53 bytes", 53, textBytes(53), prefix + chars.substr(0, 32)},
        {"300 bytes, n = 44", static_cast<std::uint8_t>(300 % 256), data300, prefix + chars.substr(0, 23)},
        {"n beyond the data present", 30, textBytes(25), prefix + chars.substr(0, 4)},
        {"Latin-1 bytes pass as they are", 22, Bytes(22, 0xE9), prefix + "\xE9"},
    };
    for (const auto& c : cases) EXPECT_EQ(portInformationText(c.lowByte, c.data), c.expected) << c.name;
}

} // namespace
} // namespace varne4::agw

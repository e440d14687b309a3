#include "intake/agw_frame.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

using namespace varne4::agw;
using varne4::test::ByteVector;

namespace {

ByteVector text(std::size_t count) {
    ByteVector bytes(count);
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<std::uint8_t>('a' + i % 26);
    return bytes;
}

Frame frame(char kind, ByteVector data, std::uint32_t port = 0, std::string from = {}, std::string to = {}) {
    return Frame{port, kind, 0, std::move(from), std::move(to), std::move(data)};
}

// The frames, encoded back: equal exactly when every header field and the data are.
ByteVector encodeAll(const std::vector<Frame>& frames) {
    ByteVector stream;
    for (const auto& f : frames) {
        const auto bytes = encode(f);
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    }
    return stream;
}

void drainInto(FrameSplitter& splitter, std::vector<Frame>& frames) {
    for (Frame f; splitter.next(f) == FrameSplitter::Result::Frame;)
        frames.push_back(f);
}

} // namespace

TEST(AgwFrame, EncodeWritesLittleEndianHeaderFields) {
    Frame f = frame('K', {1, 2, 3}, 0x04030201, "CALL", "DEST");
    f.pid = 0xF0;
    ByteVector expected{1, 2, 3, 4, 'K', 0, 0xF0, 0, 'C', 'A', 'L', 'L'};
    expected.resize(18);
    expected.insert(expected.end(), {'D', 'E', 'S', 'T'});
    expected.resize(28);
    expected.insert(expected.end(), {3, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3});
    EXPECT_EQ(encode(f), expected);
}

// Whatever the engine's segmentation (split anywhere, one byte at a time), exactly
// the frames sent come out, in order.
TEST(AgwSplitter, GivesTheFramesSentWhateverTheSegmentation) {
    const ByteVector stream = encodeAll({
        frame('K', {0x00, 0xA2, 0x82, 0x60, 0xAC, 0x03, 0xF0, 0xFF}, 0, "QB0VRS", "QA0VRN"),
        frame('G', text(53)),
        frame('K', {}, 1),
        frame('X', text(3), 2, "ABCDEFGHIJ", "K"), // callsign filling the whole field
        frame('K', text(300)),
    });
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        FrameSplitter splitter;
        std::vector<Frame> got;
        splitter.feed(std::span(stream).first(cut));
        drainInto(splitter, got);
        splitter.feed(std::span(stream).subspan(cut));
        drainInto(splitter, got);
        ASSERT_EQ(encodeAll(got), stream) << cut;
        EXPECT_EQ(splitter.buffered(), 0u) << cut;
    }
    FrameSplitter trickle;
    std::vector<Frame> got;
    for (std::uint8_t byte : stream) {
        trickle.feed(std::span(&byte, 1));
        drainInto(trickle, got);
    }
    EXPECT_EQ(encodeAll(got), stream);
}

// The largest legal length waits for its data; a larger one puts the stream out of step,
// so even a good frame behind it is not taken until the splitter is reset.
TEST(AgwSplitter, OversizeLengthIsAProtocolErrorUntilReset) {
    for (std::uint32_t dataLen : {kMaxDataLen, kMaxDataLen + 1, 0xFFFFFFFFu}) {
        ByteVector header = encode(frame('K', {}));
        for (int i = 0; i < 4; ++i)
            header[28 + i] = static_cast<std::uint8_t>(dataLen >> (8 * i));
        FrameSplitter splitter;
        splitter.feed(header);
        splitter.feed(encode(frame('K', {1})));
        Frame f;
        if (dataLen == kMaxDataLen) {
            EXPECT_EQ(splitter.next(f), FrameSplitter::Result::NeedMore);
            continue;
        }
        EXPECT_EQ(splitter.next(f), FrameSplitter::Result::ProtocolError) << dataLen;
        EXPECT_EQ(splitter.rejectedDataLen(), dataLen);
        EXPECT_EQ(splitter.next(f), FrameSplitter::Result::ProtocolError) << dataLen;
        splitter.reset();
        splitter.feed(encode(frame('K', {1})));
        ASSERT_EQ(splitter.next(f), FrameSplitter::Result::Frame) << dataLen;
        EXPECT_EQ(f.data, ByteVector{1});
    }
}

// The text shows the data but for the last 21 of n characters, n being the low byte of the length.
TEST(AgwPortInformation, TextKeepsNMinus21DataCharacters) {
    const ByteVector letters = text(53);
    const std::string prefix = "total number of ports: ", chars(letters.begin(), letters.end());
    const std::tuple<const char*, std::uint8_t, ByteVector, std::string> cases[] = {
        {"no data", 0, {}, "to"},
        {"data ignored when n is 0", 0, text(5), "to"},
        {"53 bytes", 53, text(53), prefix + chars.substr(0, 32)},
        {"300 bytes, n = 44", 300 % 256, text(300), prefix + chars.substr(0, 23)},
        {"n beyond the data present", 30, text(25), prefix + chars.substr(0, 4)},
        {"Latin-1 bytes pass as they are", 22, ByteVector(22, 0xE9), prefix + "\xE9"},
    };
    for (const auto& [name, lowByte, data, expected] : cases)
        EXPECT_EQ(portInformationText(lowByte, data), expected) << name;
}

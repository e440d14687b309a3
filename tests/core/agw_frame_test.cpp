#include "intake/agw_frame.h"

#include <gtest/gtest.h>

#include <numeric>

namespace varne4::agw {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes textBytes(std::size_t count, std::uint8_t first = 'a') {
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<std::uint8_t>(first + i % 26);
    return bytes;
}

Frame makeFrame(char kind, Bytes data, std::uint32_t port = 0, std::string from = {}, std::string to = {}) {
    Frame frame;
    frame.kind = kind;
    frame.port = port;
    frame.callFrom = std::move(from);
    frame.callTo = std::move(to);
    frame.data = std::move(data);
    return frame;
}

void expectSameFrame(const Frame& got, const Frame& want) {
    EXPECT_EQ(got.kind, want.kind);
    EXPECT_EQ(got.port, want.port);
    EXPECT_EQ(got.pid, want.pid);
    EXPECT_EQ(got.callFrom, want.callFrom);
    EXPECT_EQ(got.callTo, want.callTo);
    EXPECT_EQ(got.data, want.data);
}

// Several frames of the kinds an engine sends, including one without data.
std::vector<Frame> sampleFrames() {
    return {
        makeFrame('K', {0x00, 0xA2, 0x82, 0x60, 0xAC, 0x03, 0xF0, 0xFF}, 0, "QB0VRS", "QA0VRN"),
        makeFrame('G', textBytes(53), 0),
        makeFrame('K', {}, 1),
        makeFrame('X', textBytes(3), 2, "ABCDEFGHIJ", "K"), // callsign filling the whole field
        makeFrame('K', textBytes(300), 0),
    };
}

Bytes concatenated(const std::vector<Frame>& frames) {
    Bytes stream;
    for (const auto& frame : frames) {
        const auto bytes = encode(frame);
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    }
    return stream;
}

std::vector<Frame> drain(FrameSplitter& splitter) {
    std::vector<Frame> frames;
    Frame frame;
    while (splitter.next(frame) == FrameSplitter::Result::Frame)
        frames.push_back(frame);
    return frames;
}

void expectFrames(const std::vector<Frame>& got, const std::vector<Frame>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(i);
        expectSameFrame(got[i], want[i]);
    }
}

TEST(AgwRequest, IsAllZeroButTheKindByte) {
    for (char kind : {'G', 'k'}) {
        const auto frame = request(kind);
        Bytes expected(kHeaderSize, 0);
        expected[4] = static_cast<std::uint8_t>(kind);
        EXPECT_EQ(Bytes(frame.begin(), frame.end()), expected);
    }
}

TEST(AgwEncode, WritesLittleEndianHeaderFields) {
    Frame frame = makeFrame('K', {1, 2, 3}, 0x04030201, "CALL", "DEST");
    frame.pid = 0xF0;
    const Bytes bytes = encode(frame);
    ASSERT_EQ(bytes.size(), kHeaderSize + 3);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 4), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(bytes[4], 'K');
    EXPECT_EQ(bytes[6], 0xF0);
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 12), "CALL");
    EXPECT_EQ(bytes[12], 0);
    EXPECT_EQ(std::string(bytes.begin() + 18, bytes.begin() + 22), "DEST");
    EXPECT_EQ(Bytes(bytes.begin() + 28, bytes.begin() + 32), (Bytes{3, 0, 0, 0}));
    EXPECT_EQ(Bytes(bytes.begin() + 36, bytes.end()), (Bytes{1, 2, 3}));
}

TEST(AgwSplitter, EverySplitPointGivesTheSameFrames) {
    const auto frames = sampleFrames();
    const Bytes stream = concatenated(frames);
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        SCOPED_TRACE(cut);
        FrameSplitter splitter;
        splitter.feed(std::span(stream).first(cut));
        auto got = drain(splitter);
        splitter.feed(std::span(stream).subspan(cut));
        const auto rest = drain(splitter);
        got.insert(got.end(), rest.begin(), rest.end());
        expectFrames(got, frames);
        EXPECT_EQ(splitter.buffered(), 0u);
    }
}

TEST(AgwSplitter, WholeStreamAtOnceAndByteAtATime) {
    const auto frames = sampleFrames();
    const Bytes stream = concatenated(frames);

    FrameSplitter merged;
    merged.feed(stream);
    expectFrames(drain(merged), frames);

    FrameSplitter trickle;
    std::vector<Frame> got;
    for (std::uint8_t byte : stream) {
        trickle.feed(std::span(&byte, 1));
        const auto some = drain(trickle);
        got.insert(got.end(), some.begin(), some.end());
    }
    expectFrames(got, frames);
    EXPECT_EQ(trickle.buffered(), 0u);
}

TEST(AgwSplitter, OversizeLengthIsAProtocolErrorUntilReset) {
    struct Case {
        std::uint32_t dataLen;
        FrameSplitter::Result result;
    };
    const Case cases[] = {
        {kMaxDataLen, FrameSplitter::Result::NeedMore}, // legal, waits for its data
        {kMaxDataLen + 1, FrameSplitter::Result::ProtocolError},
        {0xFFFFFFFFu, FrameSplitter::Result::ProtocolError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dataLen);
        const auto plain = request('K');
        Bytes header(plain.begin(), plain.end());
        for (int i = 0; i < 4; ++i)
            header[28 + i] = static_cast<std::uint8_t>(c.dataLen >> (8 * i));
        FrameSplitter splitter;
        splitter.feed(header);
        Frame frame;
        EXPECT_EQ(splitter.next(frame), c.result);
        if (c.result != FrameSplitter::Result::ProtocolError)
            continue;
        EXPECT_EQ(splitter.rejectedDataLen(), c.dataLen);
        // Out of step: even a good frame behind it is not taken.
        splitter.feed(encode(makeFrame('K', {1})));
        EXPECT_EQ(splitter.next(frame), FrameSplitter::Result::ProtocolError);
        splitter.reset();
        EXPECT_EQ(splitter.buffered(), 0u);
        splitter.feed(encode(makeFrame('K', {1})));
        ASSERT_EQ(splitter.next(frame), FrameSplitter::Result::Frame);
        EXPECT_EQ(frame.data, Bytes{1});
    }
}

TEST(AgwPortInformation, TextKeepsNMinus21DataCharacters) {
    const std::string prefix = "total number of ports: ";
    const Bytes data300 = textBytes(300);
    const std::string chars300(data300.begin(), data300.end());
    struct Case {
        const char* name;
        std::uint8_t lowByte;
        Bytes data;
        std::string expected;
    };
    const Case cases[] = {
        {"no data", 0, {}, "to"},
        {"data ignored when n is 0", 0, textBytes(5), "to"},
        {"53 bytes", 53, textBytes(53), prefix + chars300.substr(0, 32)},
        {"300 bytes, n = 44", static_cast<std::uint8_t>(300 % 256), data300, prefix + chars300.substr(0, 23)},
        {"n beyond the data present", 30, textBytes(25), prefix + chars300.substr(0, 4)},
        {"Latin-1 bytes pass as they are", 22, Bytes(22, 0xE9), prefix + "\xE9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(portInformationText(c.lowByte, c.data), c.expected);
    }
}

} // namespace
} // namespace varne4::agw

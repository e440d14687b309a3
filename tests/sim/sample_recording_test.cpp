#include "sim/sample_recording.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

using namespace varne4;

TEST(SampleRecording, BundledFileIsWhatTheGeneratorMakes) {
    const auto bundled = test::readFile(std::filesystem::path(VARNE4_SOURCE_DIR) / "samples/varne4_sample.kss");
    EXPECT_EQ(bundled, makeSampleRecording(kSampleSeed, kSamplePasses))
        << "make the sample again with: varne4-decoder sample samples/varne4_sample.kss";
}

#pragma once
// `sample OUT.kss`: writes the bundled sample recording again, byte for byte;
// `sample --bench-records N OUT.kss`: a large recording for throughput measurements.

#include <string>
#include <vector>

namespace varne4 {

// Parses the arguments after the word "sample" and writes the file. Returns the
// exit status: 0, 1 when the file cannot be written, 2 for a bad command line.
int sampleMain(const std::vector<std::string>& args);

} // namespace varne4

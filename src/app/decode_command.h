#pragma once
// `decode`: runs recorded KISS files through the import's reader, pipeline and
// decoder and prints what was decoded, for operators who analyse recordings.

#include <cstdio>
#include <string>
#include <vector>

namespace varne4 {

enum class DecodeFormat { Jsonl, Csv };

// Returns the exit status: 0, or 1 when a file could not be read.
int runDecode(const std::vector<std::string>& files, DecodeFormat format, std::FILE* out, std::FILE* err);

// Parses `decode` arguments (after the word "decode") and runs it.
int decodeMain(const std::vector<std::string>& args);

} // namespace varne4

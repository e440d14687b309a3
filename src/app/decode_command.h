#pragma once
// `decode`: runs recorded KISS files through the import's reader, pipeline and
// decoder and prints what was decoded, for operators who analyse recordings.

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

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

// Parses `decode` arguments (after the word "decode") and runs it.
int decodeMain(const std::vector<std::string>& args);

} // namespace varne4

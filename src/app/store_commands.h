#pragma once
// Commands that read the station database while the station runs (or not):
//   history [--db FILE] [--config FILE] [--from T] [--to T] [--format csv|jsonl]
//   uploads [--db FILE] [--config FILE]

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varne4 {

// The database a command reads: --db FILE, or the station's beside its
// configuration (--config FILE, or online_conf.ini beside the program), named
// after MYCALL. An error text when neither can be had.
std::optional<std::filesystem::path> stationDatabasePath(const std::optional<std::filesystem::path>& db,
                                                         const std::optional<std::filesystem::path>& config,
                                                         std::string& error);

// A UTC time as the operator types it (2026-11-28, 2026-11-28T14:00, 2026-11-28 14:00:05.250,
// with or without Z or " UTC") in Unix milliseconds; nullopt for anything else.
std::optional<std::int64_t> parseUtcTime(std::string_view text);

// Writes the stored satellite frames of a time range as decode does; the exit status.
int historyMain(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

// Prints the upload backlog of each server; the exit status.
int uploadsMain(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

} // namespace varne4

#pragma once
// Commands that read the station database while the station runs (or not):
//   history [--db FILE] [--config FILE] [--from T] [--to T] [--format csv|jsonl]
//   uploads [--db FILE] [--config FILE]

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace varne4 {

// The database a command reads: --db FILE, or the station's beside its
// configuration (--config FILE, or online_conf.ini beside the program), named
// after MYCALL. An error text when neither can be had.
std::optional<std::filesystem::path> stationDatabasePath(const std::optional<std::filesystem::path>& db,
                                                         const std::optional<std::filesystem::path>& config,
                                                         std::string& error);

// Prints the upload backlog of each server; the exit status.
int uploadsMain(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

} // namespace varne4

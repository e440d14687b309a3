#pragma once
// Commands that read the station database while the station runs (or not):
//   history [--db FILE] [--config FILE] [--data DIR] [--from T] [--to T] [--format csv|jsonl]
//   uploads [--db FILE] [--config FILE] [--data DIR]

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/paths.h"

namespace varne4 {

// Where a command finds the station database: --db FILE, or the station's own, named
// after MYCALL in the data folder that a run with --config FILE / --data DIR (or
// neither: the configuration looked for as the station looks) would use.
struct StoreCommandPlaces {
    std::optional<std::filesystem::path> db, config, data;
    // Takes "--db", "--config" or "--data" with its value; false for any other option.
    bool take(const std::string& option, const std::string& value) {
        auto* slot = option == "--db" ? &db : option == "--config" ? &config : option == "--data" ? &data : nullptr;
        if (slot) *slot = pathFromUtf8(value);
        return slot != nullptr;
    }
};

// The database's path; an error text when it cannot be named.
std::optional<std::filesystem::path> stationDatabasePath(const StoreCommandPlaces& places, std::string& error);

// A UTC time as the operator types it (2026-11-28, 2026-11-28T14:00, 2026-11-28 14:00:05.250,
// with or without Z or " UTC") in Unix milliseconds; nullopt for anything else.
std::optional<std::int64_t> parseUtcTime(std::string_view text);

// Writes the stored satellite frames of a time range as decode does; the exit status.
int historyMain(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

// Prints the upload backlog of each server; the exit status.
int uploadsMain(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

} // namespace varne4

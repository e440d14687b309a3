#include "sim/kiss_file_source.h"

#include "base/paths.h"

namespace varne4 {

KissFileSource::KissFileSource(std::vector<std::filesystem::path> files, bool loop)
    : files_(std::move(files)), loop_(loop) {}

bool KissFileSource::check(std::string& error) const {
    for (const auto& file : files_) {
        KissFileReader reader;
        if (!reader.open(file)) {
            error = utf8FromPath(file) + ": " + reader.error();
            return false;
        }
    }
    return true;
}

std::optional<std::vector<std::uint8_t>> KissFileSource::nextFrame() {
    while (!files_.empty()) {
        if (index_ == files_.size()) {
            if (!loop_ || !framesThisRound_) return std::nullopt;
            index_ = 0;
            framesThisRound_ = false;
        }
        if (!reader_) {
            reader_.emplace();
            // A file that went away since check() is passed over.
            if (!reader_->open(files_[index_])) {
                reader_.reset();
                ++index_;
                continue;
            }
        }
        while (auto item = reader_->next()) {
            if (item->kind == KissFileReader::Kind::Oversize) ++oversizeSkipped_;
            if (item->kind != KissFileReader::Kind::Frame) continue;
            framesThisRound_ = true;
            return std::vector<std::uint8_t>(item->content.begin(), item->content.end());
        }
        reader_.reset();
        ++index_;
    }
    return std::nullopt;
}

} // namespace varne4

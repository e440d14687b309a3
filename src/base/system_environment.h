#pragma once
// The running process's environment, for the configuration lookup.

#include "base/config_location.h"

namespace varne4 {

class SystemEnvironment final : public Environment {
public:
    std::optional<std::string> variable(std::string_view name) const override;
    std::filesystem::path homeFolder() const override;
};

} // namespace varne4

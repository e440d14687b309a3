#include "app/simulate_command.h"

#include <QCoreApplication>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>

#include "app/command_line.h"
#include "app/signal_watcher.h"
#include "base/paths.h"
#include "sim/kiss_file_source.h"
#include "sim/modem_simulator.h"

namespace varne4 {
namespace {

constexpr double kMaxRate = 1e6;

struct SimulateOptions {
    quint16 port = 0;
    double rate = 0;   // 0: one frame a second, the source's own pace
    bool kiss = false; // serve a KISS TCP port instead of the AGW interface
    std::vector<std::filesystem::path> files;
};

std::optional<quint16> parsePort(const std::string& s) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size() || value > 65535) return std::nullopt;
    return static_cast<quint16>(value);
}

std::optional<double> parseRate(const std::string& s) {
    // strtod would follow the C locale; the rate is always written with a point.
    double value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(value) || value <= 0 || value > kMaxRate)
        return std::nullopt;
    return value;
}

std::optional<SimulateOptions> parse(const std::vector<std::string>& args, std::string& error) {
    SimulateOptions o;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsEnded && a == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && a == "--kiss") {
            o.kiss = true;
        } else if (!optionsEnded && (a == "--port" || a == "--rate")) {
            if (i + 1 == args.size()) {
                error = a + " needs a value";
                return std::nullopt;
            }
            const std::string& value = args[++i];
            if (a == "--port") {
                const auto port = parsePort(value);
                if (!port) {
                    error = "--port takes a number from 0 to 65535: " + value;
                    return std::nullopt;
                }
                o.port = *port;
            } else {
                const auto rate = parseRate(value);
                if (!rate) {
                    error = "--rate takes a number of frames per second above 0: " + value;
                    return std::nullopt;
                }
                o.rate = *rate;
            }
        } else if (!optionsEnded && a.size() > 1 && a[0] == '-') {
            error = "unknown option: " + a;
            return std::nullopt;
        } else {
            o.files.push_back(pathFromUtf8(a));
        }
    }
    if (o.files.empty()) {
        error = "simulate needs at least one KISS file";
        return std::nullopt;
    }
    return o;
}

} // namespace

int simulateMain(const std::vector<std::string>& args) {
    std::string error;
    const auto options = parse(args, error);
    if (!options) {
        std::fprintf(stderr, "varne4-decoder: %s\n%s", error.c_str(), kUsage);
        return 2;
    }

    auto source = std::make_unique<KissFileSource>(options->files, true);
    if (!source->check(error)) {
        std::fprintf(stderr, "varne4-decoder: cannot read %s\n", error.c_str());
        return 1;
    }
    // A loop over files without a single frame would serve nothing, forever.
    if (!KissFileSource(options->files, false).nextFrame()) {
        std::fprintf(stderr, "varne4-decoder: the files hold no frames\n");
        return 1;
    }

    ModemSimulator simulator(std::move(source));
    simulator.setRate(options->rate);
    if (!(options->kiss ? simulator.listenKiss(options->port) : simulator.listen(options->port))) {
        std::fprintf(stderr, "varne4-decoder: cannot listen on 127.0.0.1:%u: %s\n", unsigned{options->port},
                     simulator.errorString().toLocal8Bit().constData());
        return 1;
    }
    if (options->kiss)
        std::printf("simulating on 127.0.0.1:%u (KISS TCP)\n", unsigned{simulator.kissPort()});
    else
        std::printf("simulating on 127.0.0.1:%u\n", unsigned{simulator.port()});
    std::fflush(stdout);

    SignalWatcher watcher;
    QObject::connect(&watcher, &SignalWatcher::terminationRequested, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    return 0;
}

} // namespace varne4

#include "app/models/MachineSpeedProbe.h"

#include "app/models/LanguageSpeedProbe.h"
#include "app/models/SpeechSpeedProbe.h"
#include "platform/speech/WhisperModel.h"

#include <unistd.h>

#include <algorithm>
#include <exception>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace kivo::MachineSpeedProbe {

std::string runtime()
{
    return WhisperModel::runtimeVersion();
}

MachineSpeed obtain(bool measureAgain, const Progress& progress, std::stop_token stop)
{
    const std::string processor = MachineSpeed::thisProcessor();
    if (!measureAgain) {
        // A measurement from before the language models were measured is made again.
        if (auto cached = MachineSpeed::cached(processor, runtime()); cached && !cached->languageSeconds.empty()) {
            return *cached;
        }
    }
    MachineSpeed speed;
    speed.processor = processor;
    speed.runtime = runtime();
    speed.loadAverage = MachineSpeed::currentLoadAverage();
    std::exception_ptr failure;
    // A thread of its own, so idle priority ends with the measurement.
    std::thread measuring([&] {
        try {
            SpeechSpeedProbe::runAtIdlePriority();
            const auto scratch = MachineSpeed::cacheFile().parent_path() / ("measuring-" + std::to_string(getpid()));
            // A figure measured while stopping is cut short, so it is not kept.
            const auto measureAll = [&](const std::vector<std::string>& shapes, auto measure,
                                        std::map<std::string, double>& figures) {
                for (const auto& shape : shapes) {
                    if (stop.stop_requested()) {
                        return;
                    }
                    if (progress) {
                        progress(shape);
                    }
                    const double figure = measure(shape, scratch, stop);
                    if (!stop.stop_requested()) {
                        figures[shape] = figure;
                    }
                }
            };
            measureAll(SpeechSpeedProbe::shapes(), SpeechSpeedProbe::encoderSecondsPerSecond,
                       speed.speechSecondsPerSecond);
            measureAll(LanguageSpeedProbe::shapes(), LanguageSpeedProbe::conversionSeconds, speed.languageSeconds);
            std::error_code ignored;
            std::filesystem::remove_all(scratch, ignored);
        } catch (...) {
            failure = std::current_exception();
        }
    });
    measuring.join();
    if (failure) {
        std::rethrow_exception(failure);
    }
    speed.loadAverage = std::max(speed.loadAverage, MachineSpeed::currentLoadAverage());
    if (!stop.stop_requested() && !speed.measuredWhileBusy()) {
        speed.save();
    }
    return speed;
}

} // namespace kivo::MachineSpeedProbe

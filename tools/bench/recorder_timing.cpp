// recorder_timing [THREADS] [FINALIZATION-LIMIT-S]: the real recorder on a whisper-base-sized
// generated model, fed by a sound file at speaking pace. Prints the time from start() to capture
// running (model load and preparation included) and from stop() to completion after 10 seconds
// of speech. The product allows finalization 10 s; a larger limit measures slower machines.
#include "app/speech/SpeechRecorder.h"
#include "platform/audio/WavFileEngine.h"
#include "platform/speech/WhisperRecognizer.h"
#include "tools/whisper/TinyWhisperModel.h"

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace kivo;
using Clock = std::chrono::steady_clock;

namespace {

double since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int threads = argc > 1 ? std::atoi(argv[1]) : 0;
    const auto folder = std::filesystem::temp_directory_path() / "kivo-recorder-timing";
    std::filesystem::create_directories(folder);
    const auto model = folder / "base-random.bin";
    if (!std::filesystem::exists(model)) {
        TinyWhisperModel::write(model, TinyWhisperModel::base());
    }
    const auto speech = folder / "speech.wav";
    const std::string command = "espeak-ng -v yue -w '" + speech.string() +
                                "' '今日天氣幾好，我哋一齊去海邊行吓，之後去茶樓飲茶食點心，再去書局睇吓有冇新書。"
                                "聽日要返工，記得帶遮。' 2>/dev/null";
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "espeak-ng failed\n");
        return 1;
    }

    SpeechRecorder::Environment environment;
    if (argc > 2) {
        environment.finalizationSeconds = std::atof(argv[2]);
    }
    environment.recognizer = std::make_shared<WhisperRecognizer>(WhisperRecognizer::Configuration{model, threads, {}});
    // Speech, then silence: the microphone keeps delivering until stop.
    environment.makeEngine = [&] { return std::make_unique<WavFileEngine>(speech, WavFileEngine::Options{1.0, true}); };

    Clock::time_point started;
    Clock::time_point stopped;
    SpeechSession::Callbacks callbacks;
    std::unique_ptr<SpeechRecorder> recorder;
    int results = 0;
    callbacks.onTranscript = [&](const std::string&, bool isFinal) { results += isFinal ? 0 : 1; };
    callbacks.onStatus = [&](SpeechSession::Status status) {
        if (status == SpeechSession::Status::recording) {
            std::printf("record to capture running: %.3f s\n", since(started));
            QTimer::singleShot(10000, &app, [&] {
                stopped = Clock::now();
                recorder->stop();
            });
        }
    };
    callbacks.onError = [&](const std::string& message) {
        std::fprintf(stderr, "error after %.3f s from stop: %s\n", since(stopped), message.c_str());
    };
    callbacks.onCompletion = [&](const std::optional<std::string>& text) {
        if (text) {
            std::printf("stop to completion (10 s recording): %.3f s\n", since(stopped));
            std::printf("provisional results: %d, final text: %zu bytes\n", results, text->size());
        }
        QCoreApplication::exit(text ? 0 : 1);
    };
    recorder = std::make_unique<SpeechRecorder>(std::move(callbacks), environment);
    QTimer::singleShot(0, &app, [&] {
        started = Clock::now();
        recorder->start({});
    });
    const int status = QCoreApplication::exec();
    recorder.reset();
    return status;
}

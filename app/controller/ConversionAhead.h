#pragma once

#include "app/conversion/OutputMode.h"

#include <QObject>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QTimer;

namespace kivo {

class RunnerProcess;

// Converts the settled sentences of a transcript while the user is still speaking, so that
// after the stop only the last words are left to convert. One background runner at a time, on
// processor time recognition does not want, each holding the run lock and its time limit. A
// converted piece is kept with the exact source it came from and the mode, and is used only
// when the final transcript begins with those sources in that mode. Lives on the main thread.
class ConversionAhead : public QObject {
public:
    struct Piece {
        std::string source;
        std::string converted;
    };

    ConversionAhead(std::filesystem::path resourcesDirectory, std::string lockPath,
                    std::chrono::milliseconds timeLimit);
    ~ConversionAhead() override;

    // A new transcript in `mode`: drops the pieces and stops a run in progress.
    void restart(const OutputMode& mode);
    // The user chose another mode while speaking: what was converted is converted again in it.
    void changeMode(const OutputMode& mode);
    // The settled part of the transcript now reads `text`; converts its whole sentences.
    void settled(const std::string& text);
    // Kills the run in progress and converts nothing more until the next restart.
    void stop();
    // Starts no further piece; calls `then` once the one running has ended (at once when none
    // runs), and meanwhile `progress` with its answer tokens written and expected. A stop drops
    // both.
    void finishThen(std::function<void()> then, std::function<void(int written, int expected)> progress = {});
    bool running() const { return process_ != nullptr; }
    // The pieces converted and the one running begin `source`, in this mode: waiting for it
    // is worth more than converting its words again.
    bool serves(const std::string& source, const OutputMode& mode) const;
    // The converted pieces that `source` begins with, in order, when it is in their mode.
    std::vector<Piece> piecesStarting(const std::string& source, const OutputMode& mode) const;

private:
    void launchNext();
    void finished(unsigned run, const std::string& source, const std::vector<LiteralMasking::Span>& spans,
                  bool exitedNormally, int exitStatus, const std::string& output);
    void endRun();

    std::filesystem::path resourcesDirectory_;
    std::string lockPath_;
    std::chrono::milliseconds timeLimit_;
    std::optional<OutputMode> mode_;
    std::string settled_;
    std::vector<Piece> pieces_;
    std::size_t covered_ = 0; // bytes of the transcript the pieces hold
    std::size_t running_ = 0; // bytes after those that the running piece converts
    bool stopped_ = true;
    std::unique_ptr<RunnerProcess> process_;
    std::unique_ptr<QTimer> timer_;
    int lockFD_ = -1;
    unsigned run_ = 0;
    std::function<void()> then_;
    std::function<void(int, int)> progress_;
};

} // namespace kivo

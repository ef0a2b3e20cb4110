#pragma once

#include <stdexcept>
#include <string>

namespace kivo {

// A file whisper.cpp must not be given, with what is wrong in English and Chinese. The
// details read after the file's name ("is cut short: ...", "has n_mels 7; ..."); the messages
// are the name followed by them.
class WhisperFileError : public std::runtime_error {
public:
    enum class Fault {
        unreadable, // missing, not a regular file, or a read failed
        notWhisper, // no ggml magic
        header,     // a header field outside what real models use
        section,    // the mel filters or the vocabulary run past the end or are malformed
        tensor,     // a tensor's name, type or shape is not the one the header calls for
        length,     // the tensors do not end exactly where the file does
    };

    WhisperFileError(Fault fault, const std::string& file, std::string englishDetail, std::string chineseDetail);

    Fault fault() const { return fault_; }
    const std::string& englishDetail() const { return englishDetail_; }
    const std::string& chineseDetail() const { return chineseDetail_; }
    std::string english() const { return file_ + " " + englishDetail_ + "."; }
    std::string chinese() const { return file_ + " " + chineseDetail_ + "。"; }

private:
    Fault fault_;
    std::string file_;
    std::string englishDetail_;
    std::string chineseDetail_;
};

} // namespace kivo

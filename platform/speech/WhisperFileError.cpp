#include "platform/speech/WhisperFileError.h"

namespace kivo {

WhisperFileError::WhisperFileError(Fault fault, const std::string& file, std::string englishDetail,
                                   std::string chineseDetail)
    : std::runtime_error(file + " " + englishDetail + "."), fault_(fault), file_(file),
      englishDetail_(std::move(englishDetail)), chineseDetail_(std::move(chineseDetail))
{
}

} // namespace kivo

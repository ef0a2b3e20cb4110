#pragma once

#include "platform/speech/SpeechModelFile.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace kivo {

// Whether whisper.cpp can be given a file: whisper.cpp trusts every count in the file, so a
// damaged one aborts the process, allocates gigabytes or loads an empty model. This reads
// the header, the mel filter and vocabulary sections and the tensor table (never the tensor
// data) and accepts only what real models hold: header fields in their ranges, every tensor
// the header calls for once with its name, type and shape, and the file ending where the
// last tensor does.
namespace WhisperFileCheck {

// The header of a loadable file. The verdict is kept by the file's identity (device, inode,
// size, modification time), so checking an unchanged file again costs one stat.
// Throws WhisperFileError naming the file by its name and saying what is wrong.
SpeechModelFile::Header check(const std::filesystem::path& file);

// The same check of a file's bytes in memory, named `name` in messages.
SpeechModelFile::Header checkBytes(std::string_view bytes, const std::string& name);

} // namespace WhisperFileCheck
} // namespace kivo

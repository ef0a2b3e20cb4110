#include "app/conversion/ResourceFile.h"

#include "platform/text/Utf16.h"

#include <cerrno>
#include <fstream>
#include <iterator>
#include <system_error>

namespace kivo::ResourceFile {

namespace {

std::string caseNameOf(Error::Code code)
{
    switch (code) {
    case Error::Code::noSuchFile: return "noSuchFile";
    case Error::Code::notReadable: return "notReadable";
    case Error::Code::notUtf8: return "notUtf8";
    case Error::Code::badFormat: return "badFormat";
    }
    return "unknown";
}

std::string describe(Error::Code code, const std::filesystem::path& path, const std::string& detail)
{
    const std::string name = "\u201c" + path.filename().string() + "\u201d";
    std::string text;
    switch (code) {
    case Error::Code::noSuchFile:
        text = "The file " + name + " couldn\u2019t be opened because there is no such file.";
        break;
    case Error::Code::notReadable:
        text = "The file " + name +
               " couldn\u2019t be opened because you don\u2019t have "
               "permission to view it.";
        break;
    case Error::Code::notUtf8:
        text = "The file " + name + " couldn\u2019t be opened using text encoding Unicode (UTF-8).";
        break;
    case Error::Code::badFormat:
        text = "The data in " + name +
               " couldn\u2019t be read because it isn\u2019t in the "
               "correct format.";
        break;
    }
    if (!detail.empty()) {
        text += " (" + detail + ")";
    }
    return text;
}

} // namespace

Error::Error(Code code, std::filesystem::path path, const std::string& detail)
    : ConversionError("Kivo.ResourceFile.Error", caseNameOf(code), static_cast<int>(code),
                      describe(code, path, detail)),
      code_(code), path_(std::move(path))
{
}

std::string readText(const std::filesystem::path& directory, const std::string& name)
{
    const auto path = directory / name;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        throw Error(Error::Code::noSuchFile, path);
    }
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        throw Error(Error::Code::notReadable, path);
    }
    std::string text;
    try {
        // A read error surfaces as an exception from the stream buffer, not as a stream state.
        text.assign(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
    } catch (const std::ios_base::failure&) {
        throw Error(Error::Code::notReadable, path);
    }
    if (!Utf16::isValidUtf8(text)) {
        throw Error(Error::Code::notUtf8, path);
    }
    return text;
}

} // namespace kivo::ResourceFile

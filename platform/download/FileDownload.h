#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>

namespace kivo::FileDownload {

struct Progress {
    std::uint64_t received = 0;    // bytes in the partial file, resumed ones included
    std::uint64_t total = 0;       // the whole file's length; 0 while unknown
    std::uint64_t resumedFrom = 0; // bytes that were already there when this transfer began
};

struct Outcome {
    std::uint64_t bytes = 0; // the partial file's final length
    std::uint64_t resumedFrom = 0;
    bool rangeIgnored = false; // the server sent the whole file again, which replaced the partial one
};

// Fetches an http(s) URL into `partFile`, continuing after the bytes already in it with an HTTP
// Range request. A server that ignores the range (or refuses it) gets the file from the start,
// and the partial file is rewritten. The partial file is kept on every failure so that a later
// call resumes. Throws DownloadError; a stop request ends with the case `cancelled`.
Outcome into(const std::string& url, const std::filesystem::path& partFile,
             const std::function<void(const Progress&)>& onProgress, const std::stop_token& stop = {});

} // namespace kivo::FileDownload

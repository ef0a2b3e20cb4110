#include "platform/download/FileDownload.h"

#include "platform/download/CurlTransfer.h"
#include "platform/download/DownloadError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace kivo::FileDownload {
namespace {

struct Transfer {
    CURL* handle = nullptr;
    int file = -1;
    std::uint64_t existing = 0;
    bool started = false;
    std::uint64_t offset = 0; // where this response's body begins in the file
    std::uint64_t written = 0;
    std::uint64_t total = 0;
    bool rangeIgnored = false;
    int writeErrno = 0;
    const std::function<void(const Progress&)>* onProgress = nullptr;
};

bool writeAll(int file, const char* data, size_t size, int& error)
{
    while (size > 0) {
        const ssize_t n = ::write(file, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = errno;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// The first body bytes decide where they go: after the partial file's bytes when the server
// answered the range (206), at the start when it sent the whole file (200).
bool begin(Transfer& transfer)
{
    long status = 0;
    curl_easy_getinfo(transfer.handle, CURLINFO_RESPONSE_CODE, &status);
    curl_off_t length = -1;
    curl_easy_getinfo(transfer.handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (status == 206) {
        transfer.offset = transfer.existing;
    } else {
        transfer.rangeIgnored = transfer.rangeIgnored || transfer.existing > 0;
        transfer.offset = 0;
        if (::ftruncate(transfer.file, 0) != 0 || ::lseek(transfer.file, 0, SEEK_SET) != 0) {
            transfer.writeErrno = errno;
            return false;
        }
    }
    transfer.total = length >= 0 ? transfer.offset + static_cast<std::uint64_t>(length) : 0;
    transfer.started = true;
    return true;
}

size_t write(char* data, size_t size, size_t count, void* context)
{
    auto& transfer = *static_cast<Transfer*>(context);
    const size_t bytes = size * count;
    if (!transfer.started && !begin(transfer)) {
        return 0;
    }
    if (!writeAll(transfer.file, data, bytes, transfer.writeErrno)) {
        return 0;
    }
    transfer.written += bytes;
    if (*transfer.onProgress) {
        (*transfer.onProgress)({transfer.offset + transfer.written, transfer.total, transfer.offset});
    }
    return bytes;
}

std::uint64_t sizeOf(const std::filesystem::path& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

class File {
public:
    explicit File(const std::filesystem::path& path)
        : descriptor_(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644))
    {
    }
    ~File()
    {
        if (descriptor_ >= 0) {
            ::close(descriptor_);
        }
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    int get() const { return descriptor_; }

private:
    int descriptor_;
};

[[noreturn]] void fail(DownloadError::Case kind, const std::string& url, const std::string& reason, long status = 0)
{
    throw DownloadError(kind, "Download of " + url + " failed: " + reason, status);
}

bool isDiskFull(int error)
{
    return error == ENOSPC || error == EDQUOT || error == EFBIG;
}

} // namespace

Outcome into(const std::string& url, const std::filesystem::path& partFile,
             const std::function<void(const Progress&)>& onProgress, const std::stop_token& stop)
{
    // A server without ranges, or one refusing ours (416: the partial file is longer than its
    // file), gets one more try from the start.
    bool restarted = false;
    for (int attempt = 0;; ++attempt) {
        File file(partFile);
        if (file.get() < 0) {
            const int error = errno;
            fail(isDiskFull(error) ? DownloadError::Case::diskFull : DownloadError::Case::writeFailed, url,
                 "cannot write " + partFile.string() + ": " + std::strerror(error) + ".");
        }
        const std::uint64_t existing = attempt == 0 ? sizeOf(partFile) : 0;
        if (::ftruncate(file.get(), static_cast<off_t>(existing)) != 0 ||
            ::lseek(file.get(), static_cast<off_t>(existing), SEEK_SET) < 0) {
            fail(DownloadError::Case::writeFailed, url, "cannot write " + partFile.string() + ".");
        }
        const CurlTransfer::Handle curl = CurlTransfer::make(url.c_str());
        if (!curl) {
            fail(DownloadError::Case::network, url, "the transfer could not be started.");
        }
        Transfer transfer;
        transfer.handle = curl.get();
        transfer.file = file.get();
        transfer.existing = existing;
        transfer.onProgress = &onProgress;
        transfer.rangeIgnored = restarted;
        CURL* handle = curl.get();
        // A catalogue file may name models next to it; redirects still stay on http and https.
        if (url.starts_with("file://")) {
            curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "file");
        }
        if (existing > 0) {
            curl_easy_setopt(handle, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(existing));
        }
        const CurlTransfer::Result performed = CurlTransfer::perform(handle, write, &transfer, stop);
        const CURLcode result = performed.code;
        long status = 0;
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);

        if (result == CURLE_OK && !transfer.started) {
            curl_off_t length = -1;
            curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
            // libcurl ends without a body when the server's whole file is as long as the
            // partial one: it is complete.
            if (status == 200 && existing > 0 && length >= 0 && static_cast<std::uint64_t>(length) == existing) {
                return {existing, existing, false};
            }
            // With a range, libcurl lets 416 pass as success.
            if (status == 416 && existing > 0 && attempt == 0) {
                restarted = true;
                continue;
            }
            if (status < 400) {
                begin(transfer); // an empty body
            }
        }
        if (result == CURLE_OK && status < 400) {
            const std::uint64_t bytes = transfer.offset + transfer.written;
            if (transfer.total != 0 && bytes != transfer.total) {
                fail(DownloadError::Case::truncated, url,
                     "the connection ended after " + std::to_string(bytes) + " of " + std::to_string(transfer.total) +
                         " bytes.");
            }
            if (::fsync(file.get()) != 0) {
                const int error = errno;
                fail(isDiskFull(error) ? DownloadError::Case::diskFull : DownloadError::Case::writeFailed, url,
                     "cannot write " + partFile.string() + ": " + std::strerror(error) + ".");
            }
            return {bytes, transfer.offset, transfer.rangeIgnored};
        }
        if (stop.stop_requested()) {
            fail(DownloadError::Case::cancelled, url, "cancelled.");
        }
        if (existing > 0 && attempt == 0 &&
            (result == CURLE_RANGE_ERROR || (result == CURLE_HTTP_RETURNED_ERROR && status == 416))) {
            restarted = true;
            continue;
        }
        if (result == CURLE_WRITE_ERROR && transfer.writeErrno != 0) {
            const int error = transfer.writeErrno;
            fail(isDiskFull(error) ? DownloadError::Case::diskFull : DownloadError::Case::writeFailed, url,
                 (isDiskFull(error) ? std::string("the disk is full (") : std::string("cannot write (")) +
                     partFile.string() + ": " + std::strerror(error) + ").");
        }
        if (result == CURLE_HTTP_RETURNED_ERROR || result == CURLE_OK) {
            if (status == 404 || status == 410) {
                fail(DownloadError::Case::notFound, url,
                     "the server has no such file (HTTP " + std::to_string(status) + ").", status);
            }
            fail(DownloadError::Case::httpStatus, url, "the server answered HTTP " + std::to_string(status) + ".",
                 status);
        }
        if (result == CURLE_PARTIAL_FILE) {
            fail(DownloadError::Case::truncated, url,
                 "the connection ended after " + std::to_string(transfer.offset + transfer.written) + " of " +
                     std::to_string(transfer.total) + " bytes.");
        }
        std::string reason = performed.message;
        if (!reason.empty() && reason.back() != '.') {
            reason += '.';
        }
        fail(DownloadError::Case::network, url, reason);
    }
}

} // namespace kivo::FileDownload

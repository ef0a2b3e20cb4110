#include "platform/updates/HttpClient.h"

#include "platform/download/CurlTransfer.h"
#include "platform/updates/UpdateError.h"

namespace kivo::HttpClient {
namespace {

struct Transfer {
    std::string body;
    std::uint64_t maxBytes = 0;
    bool tooLarge = false;
    std::stop_token stop;
};

size_t write(char* data, size_t size, size_t count, void* context)
{
    auto* transfer = static_cast<Transfer*>(context);
    const size_t bytes = size * count;
    if (transfer->body.size() + bytes > transfer->maxBytes) {
        transfer->tooLarge = true;
        return 0;
    }
    transfer->body.append(data, bytes);
    return bytes;
}

int progress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<Transfer*>(context)->stop.stop_requested() ? 1 : 0;
}

} // namespace

std::string fetch(const std::string& url, std::uint64_t maxBytes, int failureCode, std::stop_token stop)
{
    const CurlTransfer::Handle curl = CurlTransfer::make(url.c_str());
    if (!curl) {
        throw UpdateError(UpdateError::serviceDomain, failureCode, "The download could not be started.");
    }
    Transfer transfer;
    transfer.maxBytes = maxBytes;
    transfer.stop = std::move(stop);
    char errorText[CURL_ERROR_SIZE] = {};
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBytes));
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, write);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, progress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText);
    const CURLcode result = curl_easy_perform(handle);
    if (result != CURLE_OK) {
        std::string reason = transfer.tooLarge ? std::string("the file is larger than expected")
                             : errorText[0] ? std::string(errorText)
                                            : std::string(curl_easy_strerror(result));
        throw UpdateError(UpdateError::serviceDomain, failureCode, "Download of " + url + " failed: " + reason);
    }
    return std::move(transfer.body);
}

} // namespace kivo::HttpClient

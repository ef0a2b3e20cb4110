#include "platform/updates/HttpClient.h"

#include "platform/download/CurlTransfer.h"
#include "platform/updates/UpdateError.h"

namespace kivo::HttpClient {
namespace {

struct Transfer {
    std::string body;
    std::uint64_t maxBytes = 0;
    bool tooLarge = false;
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

} // namespace

std::string fetch(const std::string& url, std::uint64_t maxBytes, int failureCode, std::stop_token stop)
{
    const CurlTransfer::Handle curl = CurlTransfer::make(url.c_str());
    if (!curl) {
        throw UpdateError(UpdateError::serviceDomain, failureCode, "The download could not be started.");
    }
    Transfer transfer;
    transfer.maxBytes = maxBytes;
    curl_easy_setopt(curl.get(), CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBytes));
    const CurlTransfer::Result result = CurlTransfer::perform(curl.get(), write, &transfer, stop);
    if (result.code != CURLE_OK) {
        const std::string reason = transfer.tooLarge ? std::string("the file is larger than expected") : result.message;
        throw UpdateError(UpdateError::serviceDomain, failureCode, "Download of " + url + " failed: " + reason);
    }
    return std::move(transfer.body);
}

} // namespace kivo::HttpClient

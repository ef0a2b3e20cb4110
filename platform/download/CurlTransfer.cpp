#include "platform/download/CurlTransfer.h"

#include <mutex>

namespace kivo::CurlTransfer {
namespace {

int progress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<const std::stop_token*>(context)->stop_requested() ? 1 : 0;
}

} // namespace

Handle make(const char* url)
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    Handle curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) {
        return curl;
    }
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, url);
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, 20L);
    // A stalled server: under 1 byte/s for 30 s ends the transfer.
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, 30L);
    return curl;
}

Result perform(CURL* handle, curl_write_callback write, void* context, const std::stop_token& stop)
{
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, write);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, context);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, progress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &stop);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText);
    Result result;
    result.code = curl_easy_perform(handle);
    // The buffer is about to go out of scope.
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, nullptr);
    if (result.code != CURLE_OK) {
        result.message = errorText[0] != '\0' ? std::string(errorText) : std::string(curl_easy_strerror(result.code));
    }
    return result;
}

} // namespace kivo::CurlTransfer

#pragma once

#include <curl/curl.h>

#include <memory>
#include <stop_token>
#include <string>

namespace kivo::CurlTransfer {

using Handle = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;

// A new easy handle (null when libcurl cannot make one) with the options every transfer of
// ours uses: http and https only (also on redirects), TLS peer and host verified, a proxy
// from the environment (libcurl reads http_proxy, https_proxy and no_proxy itself), and a
// stalled server ending the transfer.
Handle make(const char* url);

struct Result {
    CURLcode code = CURLE_OK;
    std::string message; // libcurl's own text for the failure; empty on success
};

// Runs the transfer, handing the body to `write` with `context`. HTTP errors fail it, and a
// requested stop ends it (CURLE_ABORTED_BY_CALLBACK).
Result perform(CURL* handle, curl_write_callback write, void* context, const std::stop_token& stop);

} // namespace kivo::CurlTransfer

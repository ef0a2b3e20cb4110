#pragma once

#include <curl/curl.h>

#include <memory>

namespace kivo::CurlTransfer {

using Handle = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;

// A new easy handle (null when libcurl cannot make one) with the options every transfer of
// ours uses: http and https only (also on redirects), TLS peer and host verified, a proxy
// from the environment (libcurl reads http_proxy, https_proxy and no_proxy itself), and a
// stalled server ending the transfer.
Handle make(const char* url);

} // namespace kivo::CurlTransfer

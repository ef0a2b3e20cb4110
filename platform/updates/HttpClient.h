#pragma once

#include <cstdint>
#include <stop_token>
#include <string>

namespace kivo::HttpClient {

// The body of an http(s) URL, at most `maxBytes`; a stop request ends the transfer. Throws
// UpdateError with `failureCode` and the transfer's reason.
std::string fetch(const std::string& url, std::uint64_t maxBytes, int failureCode, std::stop_token stop = {});

} // namespace kivo::HttpClient

#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kivo::test {

// A small HTTP/1.0 server on 127.0.0.1 (a free port) serving fixed bodies by path; anything
// else is 404. Each connection is one request, answered on its own thread, so a slow transfer
// does not hold up the others; every thread ends with the server.
class LoopbackServer {
public:
    struct Options {
        bool ranges = true;                  // answer "Range: bytes=N-" with 206
        std::size_t bytesPerSecond = 0;      // 0: as fast as the socket takes it
        std::optional<std::size_t> cutAfter; // close after this many body bytes (Content-Length stays whole)

        static Options withoutRanges()
        {
            Options options;
            options.ranges = false;
            return options;
        }
        static Options slow(std::size_t bytesPerSecond)
        {
            Options options;
            options.bytesPerSecond = bytesPerSecond;
            return options;
        }
        static Options cut(std::size_t after)
        {
            Options options;
            options.cutAfter = after;
            return options;
        }
    };

    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    void serve(const std::string& path, std::string body, Options options);
    void serve(const std::string& path, std::string body) { serve(path, std::move(body), Options{}); }
    std::string url(const std::string& path) const;
    // The Range header values received for a path, in order ("" for requests without one).
    std::vector<std::string> ranges(const std::string& path);

private:
    struct Resource {
        std::string body;
        Options options;
    };
    void run(std::stop_token stop);
    void answer(int client, std::stop_token stop);

    int socket_ = -1;
    int port_ = 0;
    std::mutex mutex_;
    std::map<std::string, Resource> resources_;
    std::map<std::string, std::vector<std::string>> ranges_;
    std::vector<std::jthread> connections_;
    std::jthread thread_;
};

} // namespace kivo::test

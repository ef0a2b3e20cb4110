#pragma once

#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace kivo::test {

// A small HTTP/1.0 server on 127.0.0.1 (a free port) serving fixed bodies by path; anything
// else is 404. Each connection is one request; the thread ends with the server.
class LoopbackServer {
public:
    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    void serve(const std::string& path, std::string body);
    std::string url(const std::string& path) const;

private:
    void run(std::stop_token stop);

    int socket_ = -1;
    int port_ = 0;
    std::mutex mutex_;
    std::map<std::string, std::string> bodies_;
    std::jthread thread_;
};

} // namespace kivo::test

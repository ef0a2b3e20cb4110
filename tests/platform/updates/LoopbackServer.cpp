#include "tests/platform/updates/LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace kivo::test {

LoopbackServer::LoopbackServer()
{
    socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (socket_ < 0 || ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(socket_, 8) != 0 || ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("loopback server could not listen");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::jthread([this](std::stop_token stop) { run(stop); });
}

LoopbackServer::~LoopbackServer()
{
    thread_.request_stop();
    thread_.join();
    ::close(socket_);
}

void LoopbackServer::serve(const std::string& path, std::string body)
{
    const std::lock_guard lock(mutex_);
    bodies_[path] = std::move(body);
}

std::string LoopbackServer::url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void LoopbackServer::run(std::stop_token stop)
{
    while (!stop.stop_requested()) {
        pollfd waiting{socket_, POLLIN, 0};
        if (::poll(&waiting, 1, 50) <= 0) {
            continue;
        }
        const int client = ::accept4(socket_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            continue;
        }
        std::string request;
        char buffer[2048];
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
            pollfd readable{client, POLLIN, 0};
            if (::poll(&readable, 1, 2000) <= 0) {
                break;
            }
            const ssize_t n = ::read(client, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            request.append(buffer, static_cast<size_t>(n));
        }
        const auto start = request.find(' ');
        const auto end = request.find(' ', start + 1);
        const std::string path = start == std::string::npos ? "" : request.substr(start + 1, end - start - 1);
        std::string response;
        {
            const std::lock_guard lock(mutex_);
            const auto found = bodies_.find(path);
            response = found == bodies_.end()
                           ? std::string("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n")
                           : "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(found->second.size())
                                 + "\r\n\r\n" + found->second;
        }
        for (size_t sent = 0; sent < response.size();) {
            const ssize_t n = ::write(client, response.data() + sent, response.size() - sent);
            if (n <= 0) {
                break;
            }
            sent += static_cast<size_t>(n);
        }
        ::close(client);
    }
}

} // namespace kivo::test

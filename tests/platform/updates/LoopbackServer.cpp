#include "tests/platform/updates/LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace kivo::test {
namespace {

bool sendAll(int client, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(client, data, size, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

std::string header(const std::string& request, const std::string& name)
{
    std::string lower = request;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    const auto at = lower.find("\r\n" + name + ":");
    if (at == std::string::npos) {
        return {};
    }
    const auto start = request.find_first_not_of(' ', at + name.size() + 3);
    return request.substr(start, request.find("\r\n", start) - start);
}

} // namespace

LoopbackServer::LoopbackServer()
{
    socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (socket_ < 0 || ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(socket_, 8) != 0 || ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("loopback server could not listen");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::jthread([this](std::stop_token stop) { run(stop); });
}

LoopbackServer::~LoopbackServer()
{
    thread_.request_stop();
    thread_.join();
    for (auto& connection : connections_) {
        connection.request_stop();
    }
    connections_.clear();
    ::close(socket_);
}

void LoopbackServer::serve(const std::string& path, std::string body, Options options)
{
    const std::lock_guard lock(mutex_);
    resources_[path] = {std::move(body), options};
}

std::string LoopbackServer::url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> LoopbackServer::ranges(const std::string& path)
{
    const std::lock_guard lock(mutex_);
    return ranges_[path];
}

void LoopbackServer::run(std::stop_token stop)
{
    while (!stop.stop_requested()) {
        pollfd waiting{socket_, POLLIN, 0};
        if (::poll(&waiting, 1, 50) <= 0) {
            continue;
        }
        const int client = ::accept4(socket_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) {
            connections_.emplace_back([this, client](std::stop_token connection) {
                answer(client, connection);
                ::close(client);
            });
        }
    }
}

void LoopbackServer::answer(int client, std::stop_token stop)
{
    std::string request;
    char buffer[2048];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
        pollfd readable{client, POLLIN, 0};
        if (::poll(&readable, 1, 2000) <= 0) {
            return;
        }
        const ssize_t n = ::read(client, buffer, sizeof buffer);
        if (n <= 0) {
            return;
        }
        request.append(buffer, static_cast<size_t>(n));
    }
    const auto start = request.find(' ');
    const auto end = request.find(' ', start + 1);
    const std::string path = start == std::string::npos ? "" : request.substr(start + 1, end - start - 1);
    const std::string range = header(request, "range");
    Resource resource;
    {
        const std::lock_guard lock(mutex_);
        const auto found = resources_.find(path);
        if (found == resources_.end()) {
            const std::string notFound = "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n";
            sendAll(client, notFound.data(), notFound.size());
            return;
        }
        ranges_[path].push_back(range);
        resource = found->second;
    }
    const std::string& body = resource.body;
    size_t from = 0;
    std::string head;
    if (resource.options.ranges && range.starts_with("bytes=") && range.back() == '-') {
        from = std::stoul(range.substr(6));
        if (from >= body.size()) {
            head = "HTTP/1.0 416 Range Not Satisfiable\r\nContent-Range: bytes */" + std::to_string(body.size()) +
                   "\r\nContent-Length: 0\r\n\r\n";
            sendAll(client, head.data(), head.size());
            return;
        }
        head = "HTTP/1.0 206 Partial Content\r\nContent-Range: bytes " + std::to_string(from) + "-" +
               std::to_string(body.size() - 1) + "/" + std::to_string(body.size()) + "\r\n";
    } else {
        head = "HTTP/1.0 200 OK\r\n";
    }
    head += "Content-Length: " + std::to_string(body.size() - from) + "\r\n\r\n";
    if (!sendAll(client, head.data(), head.size())) {
        return;
    }
    size_t last = body.size();
    if (resource.options.cutAfter) {
        last = std::min(last, from + *resource.options.cutAfter);
    }
    // Slow transfers go out in tenth-of-a-second slices.
    const size_t slice =
        resource.options.bytesPerSecond > 0 ? std::max<size_t>(1, resource.options.bytesPerSecond / 10) : last - from;
    for (size_t at = from; at < last && !stop.stop_requested();) {
        const size_t count = std::min(slice, last - at);
        if (!sendAll(client, body.data() + at, count)) {
            return;
        }
        at += count;
        if (resource.options.bytesPerSecond > 0 && at < last) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
}

} // namespace kivo::test

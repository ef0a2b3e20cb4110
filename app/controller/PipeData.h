#pragma once

#include <mutex>
#include <string>

namespace kivo {

// Bytes handed from one work item to another; the lock is the only way across threads.
class PipeData {
public:
    void store(std::string data);
    std::string value() const;

private:
    mutable std::mutex lock_;
    std::string data_;
};

} // namespace kivo

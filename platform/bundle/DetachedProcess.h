#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/types.h>

namespace kivo {

// Starts a program in a session of its own, not awaited: it outlives its starter.
namespace DetachedProcess {

class StartError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Returns the child's process id; throws StartError with the system's reason.
pid_t start(const std::filesystem::path& program, const std::vector<std::string>& arguments);

} // namespace DetachedProcess

} // namespace kivo

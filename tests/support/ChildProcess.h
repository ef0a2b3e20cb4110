#pragma once

#include <map>
#include <string>
#include <vector>

namespace kivo::test {

// Runs a program to completion with the given standard input and extra environment entries,
// collecting its standard output, standard error and exit status.
struct ChildResult {
    std::string out;
    std::string err;
    int exitStatus = -1; // -1 when the process did not exit normally
    int signal = 0;
};

ChildResult runChild(const std::string& program, const std::vector<std::string>& arguments, const std::string& input,
                     const std::map<std::string, std::string>& environment = {});

// A fresh empty folder under the system's temporary folder, removed by the destructor.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Writes a tiny chat model with the generator tool as <dataHome>/kivo/models/language-model.gguf
// and returns dataHome, ready to be XDG_DATA_HOME of a child.
void makeTinyModel(const std::string& dataHome, const std::vector<std::string>& options);

// A temporary data home holding a tiny chat model made with the generator's `options`.
class TinyModelHome : public TemporaryFolder {
public:
    explicit TinyModelHome(const std::vector<std::string>& options = {}) { makeTinyModel(path(), options); }
};

} // namespace kivo::test

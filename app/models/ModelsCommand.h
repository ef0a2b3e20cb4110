#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace kivo {

// `Kivo --models …`: the Models window's operations for scripts and headless machines, with
// the same code and messages (in English).
//   list | install NAME | import FILE ROLE | verify [ROLE] | remove ROLE | recommend [--measure]
// with `--catalogue URL|FILE` before the command to use another catalogue for this run.
namespace ModelsCommand {

// `arguments` are those after --models. Returns the exit status: 0 on success, 1 when the
// operation failed, 2 for a usage error.
int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

} // namespace ModelsCommand
} // namespace kivo

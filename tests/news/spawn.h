// Starting the contention worker as separate processes.
#pragma once

#include <string>
#include <vector>

namespace news_test {

// Starts news_contention_worker (from the test program's folder) once per
// argument list, all of them before waiting for any. Returns each exit
// code; -1 when it could not start or did not end.
std::vector<int> run_workers(const std::vector<std::vector<std::string>>& arguments);

}  // namespace news_test

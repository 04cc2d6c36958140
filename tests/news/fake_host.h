// The tests' stand-in for the web view host: it keeps every text the page
// would receive, with the "m " the bridge puts in front.
#pragma once

#include <string>
#include <vector>

struct WV2Host {
    std::vector<std::string> page;
};

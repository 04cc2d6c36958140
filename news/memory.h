// The store's own allocation, through the replaceable allocator.
#pragma once

#include <cstddef>

namespace yawp::news {

// [any-thread] Memory that std::free releases, or null.
void* allocate(size_t size);

}  // namespace yawp::news

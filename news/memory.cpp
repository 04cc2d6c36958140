#include <atomic>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "news/crier.h"
#include "news/memory.h"

namespace yawp::news {
namespace {

std::atomic<CrierAllocator> g_allocator{&std::malloc};

}  // namespace

void* allocate(size_t size) { return g_allocator.load(std::memory_order_relaxed)(size); }

}  // namespace yawp::news

CrierAllocator crier_set_allocator(CrierAllocator allocator) {
    return yawp::news::g_allocator.exchange(allocator ? allocator : &std::malloc);
}

char* crier_concat(const char* first, ...) {
    va_list args;
    va_start(args, first);
    va_list again;
    va_copy(again, args);

    size_t total = 0;
    bool too_long = false;
    for (const char* s = first; s != nullptr; s = va_arg(args, const char*)) {
        const size_t n = std::strlen(s);
        if (n > SIZE_MAX - 1 - total) {
            too_long = true;
            break;
        }
        total += n;
    }
    va_end(args);

    char* result = too_long ? nullptr : static_cast<char*>(yawp::news::allocate(total + 1));
    if (result != nullptr) {
        char* at = result;
        for (const char* s = first; s != nullptr; s = va_arg(again, const char*)) {
            const size_t n = std::strlen(s);
            std::memcpy(at, s, n);
            at += n;
        }
        *at = '\0';
    }
    va_end(again);
    return result;
}

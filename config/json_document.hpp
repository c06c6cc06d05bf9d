#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

#include <rapidjson/document.h>

namespace wyr::zok {

// RapidJSON's own allocator answers a failed allocation with a null pointer, which its parser
// then writes through. This one raises std::bad_alloc instead, so that running out of memory
// while parsing becomes an error the loader can report rather than a crash.
class ThrowingAllocator {
public:
    static constexpr bool kNeedFree = true;

    void* Malloc(std::size_t size) {
        // RapidJSON expects a null pointer, not an error, for an empty block.
        if (size == 0) {
            return nullptr;
        }
        return checked(std::malloc(size));
    }

    void* Realloc(void* original, std::size_t /*originalSize*/, std::size_t newSize) {
        if (newSize == 0) {
            std::free(original);
            return nullptr;
        }
        // On failure `original` is still valid and still owned by the caller, which frees it.
        return checked(std::realloc(original, newSize));
    }

    static void Free(void* block) noexcept { std::free(block); }

private:
    static void* checked(void* block) {
        if (block == nullptr) {
            throw std::bad_alloc();
        }
        return block;
    }
};

using JsonAllocator = rapidjson::MemoryPoolAllocator<ThrowingAllocator>;
using JsonValue = rapidjson::GenericValue<rapidjson::UTF8<>, JsonAllocator>;
using JsonDocument =
    rapidjson::GenericDocument<rapidjson::UTF8<>, JsonAllocator, ThrowingAllocator>;

} // namespace wyr::zok

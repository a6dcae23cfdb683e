// Heap probes for the loader tests: the largest single allocation made while a watch is
// alive, to show that a hostile header was refused before its memory was asked for; and a
// fill pattern for new blocks, so that pixels a decoder never writes show up as garbage.
#pragma once

#include <cstddef>

namespace orvik::test {

class AllocationWatch {
public:
    AllocationWatch();
    ~AllocationWatch();
    AllocationWatch(const AllocationWatch&) = delete;
    AllocationWatch& operator=(const AllocationWatch&) = delete;

    // The largest block requested from malloc (and so from new) since construction.
    std::size_t largest() const;
};

// From now on every block malloc hands out is filled with `pattern` instead of whatever
// was there (often zeros, which would pass for black or palette entry 0). Sanitizer builds
// have their own fill byte (0xbe) and ignore this.
void fillNewBlocksWith(unsigned char pattern);

} // namespace orvik::test

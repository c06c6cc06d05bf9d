#pragma once

#include <algorithm>

namespace wyr::zok {

// A parameter clamped into lo..hi, or `fallback` (its default) when it is NaN: the rule every
// Params record of the library follows when its object is constructed.
template <class T>
T clampOr(T v, T lo, T hi, T fallback) {
    if (v != v) {
        return fallback;
    }
    return std::clamp(v, lo, hi);
}

} // namespace wyr::zok

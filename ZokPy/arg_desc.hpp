#pragma once

namespace wyr::zok {

// The Python argument being converted, as the conversions name it in their messages.
struct ArgDesc {
    const char* name;
};

} // namespace wyr::zok

#include "progress.hpp"

#include <cstdio>
#include <string>

#include <unistd.h>

namespace zok_track {

Progress::Progress(bool wanted, std::optional<int> total)
    : enabled_(wanted && isatty(STDERR_FILENO) != 0), total_(total) {}

void Progress::show(int done, double framesPerSecond) {
    if (!enabled_) {
        return;
    }
    if (total_ && *total_ > 0) {
        constexpr int kWidth = 30;
        const int filled = done >= *total_ ? kWidth : done * kWidth / *total_;
        std::fprintf(stderr, "\r[%s%s] %d/%d frames  %.0f fps ", std::string(filled, '#').c_str(),
                     std::string(kWidth - filled, '.').c_str(), done, *total_, framesPerSecond);
    } else {
        std::fprintf(stderr, "\r%d frames  %.0f fps ", done, framesPerSecond);
    }
    std::fflush(stderr);
}

void Progress::finish() {
    if (enabled_) {
        std::fprintf(stderr, "\n");
    }
}

} // namespace zok_track

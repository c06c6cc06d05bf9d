#pragma once

#include <optional>

namespace zok_track {

// A progress bar on standard error, drawn only when standard error is a terminal.
class Progress {
public:
    Progress(bool wanted, std::optional<int> total);
    void show(int done, double framesPerSecond);
    void finish();

private:
    bool enabled_;
    std::optional<int> total_;
};

} // namespace zok_track

#include "accuracy/workers.hpp"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <numeric>
#include <string>

namespace wyr::zok::accuracy {
namespace {

// What a worker tells the parent; 8 bytes, so that every write to the shared pipe is atomic.
struct Report {
    int32_t sequence;
    int32_t frames; // frames done in it so far; -1 when the sequence is finished
};

class ProgressBar {
public:
    ProgressBar(size_t sequences, size_t frames)
        : sequences_(sequences), frames_(frames), tty_(isatty(STDERR_FILENO)) {}

    void frames(size_t done) {
        framesDone_ = done;
        const auto now = std::chrono::steady_clock::now();
        if (tty_ && now - drawn_ > std::chrono::milliseconds(200)) {
            draw();
            drawn_ = now;
        }
    }
    void finished(const std::string& name) {
        ++sequencesDone_;
        if (tty_) {
            draw();
        } else {
            std::cerr << "sequence " << sequencesDone_ << "/" << sequences_ << " done: " << name
                      << " (" << framesDone_ << "/" << frames_ << " frames)\n";
        }
    }
    void end() {
        if (tty_) {
            draw();
            std::cerr << '\n';
        }
    }

private:
    void draw() {
        constexpr int WIDTH = 30;
        const int filled = frames_ ? int(WIDTH * framesDone_ / frames_) : WIDTH;
        std::cerr << "\r[" << std::string(size_t(filled), '#')
                  << std::string(size_t(WIDTH - filled), '.') << "] sequences " << sequencesDone_
                  << "/" << sequences_ << ", frames " << framesDone_ << "/" << frames_
                  << std::flush;
    }

    size_t sequences_, frames_;
    bool tty_;
    size_t sequencesDone_ = 0, framesDone_ = 0;
    std::chrono::steady_clock::time_point drawn_{};
};

bool writeAll(int fd, const void* data, size_t size) {
    return write(fd, data, size) == ssize_t(size);
}

// A worker: takes sequence numbers from `work` until it is drained.
[[noreturn]] void work(int workFd, int reportFd, const std::string& dir,
                       const std::vector<RealSequence>& sequences,
                       const std::vector<TrackerRow>& rows, const SequenceRunner& runner) {
    int32_t s = 0;
    while (read(workFd, &s, sizeof s) == ssize_t(sizeof s)) {
        size_t reported = 0;
        const SequenceRun run = runner(sequences[size_t(s)], rows, [&](size_t done) {
            if (done - reported >= 10) {
                const Report r{s, int32_t(done)};
                writeAll(reportFd, &r, sizeof r);
                reported = done;
            }
        });
        const std::string path = dir + "/" + std::to_string(s);
        std::FILE* f = std::fopen((path + ".part").c_str(), "wb");
        const bool ok = f && writeRun(f, run);
        if (f) {
            std::fclose(f);
        }
        if (ok) {
            std::rename((path + ".part").c_str(), path.c_str());
        }
        const Report r{s, -1};
        writeAll(reportFd, &r, sizeof r);
    }
    _exit(0);
}

} // namespace

std::vector<SequenceRun> runAll(const std::vector<RealSequence>& sequences,
                                const std::vector<TrackerRow>& rows, int jobs,
                                const SequenceRunner& runner) {
    std::vector<SequenceRun> runs(sequences.size());
    char dirTemplate[] = "/tmp/zok-accuracy-XXXXXX";
    const char* made = mkdtemp(dirTemplate);
    int workPipe[2], reportPipe[2];
    if (!made || pipe(workPipe) != 0 || pipe(reportPipe) != 0) {
        for (SequenceRun& run : runs) {
            run.problem = "cannot start the worker processes";
        }
        return runs;
    }
    const std::string dir = made;

    std::vector<int32_t> order(sequences.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
        return sequences[size_t(a)].frames.size() > sequences[size_t(b)].frames.size();
    });
    // The whole queue fits the pipe's buffer for any dataset in use (16384 sequences).
    writeAll(workPipe[1], order.data(), order.size() * sizeof(int32_t));
    close(workPipe[1]);

    std::cout.flush();
    std::cerr.flush();
    std::vector<pid_t> workers;
    for (int j = 0; j < std::max(1, jobs); ++j) {
        const pid_t pid = fork();
        if (pid == 0) {
            close(reportPipe[0]);
            work(workPipe[0], reportPipe[1], dir, sequences, rows, runner);
        }
        if (pid > 0) {
            workers.push_back(pid);
        }
    }
    close(workPipe[0]);
    close(reportPipe[1]);

    size_t totalFrames = 0;
    for (const RealSequence& seq : sequences) {
        totalFrames += seq.frames.size();
    }
    ProgressBar bar(sequences.size(), totalFrames);
    std::vector<size_t> done(sequences.size(), 0);
    size_t framesDone = 0;
    Report r{};
    while (read(reportPipe[0], &r, sizeof r) == ssize_t(sizeof r)) {
        if (r.sequence < 0 || size_t(r.sequence) >= sequences.size()) {
            continue;
        }
        const size_t s = size_t(r.sequence);
        const size_t now = r.frames < 0 ? sequences[s].frames.size() : size_t(r.frames);
        framesDone += now - std::min(now, done[s]);
        done[s] = std::max(done[s], now);
        bar.frames(framesDone);
        if (r.frames < 0) {
            bar.finished(sequences[s].name);
        }
    }
    close(reportPipe[0]);
    bar.end();

    std::string stopped;
    for (const pid_t pid : workers) {
        int status = 0;
        waitpid(pid, &status, 0);
        if (WIFSIGNALED(status)) {
            stopped = " (a worker was stopped by signal " + std::to_string(WTERMSIG(status)) + ")";
        }
    }
    for (size_t s = 0; s < sequences.size(); ++s) {
        const std::string path = dir + "/" + std::to_string(s);
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (!f || !readRun(f, runs[s])) {
            runs[s] = SequenceRun{};
            runs[s].problem =
                sequences[s].name + ": its worker stopped before finishing it" + stopped;
        }
        if (f) {
            std::fclose(f);
        }
        std::remove(path.c_str());
        std::remove((path + ".part").c_str());
    }
    rmdir(dir.c_str());
    return runs;
}

} // namespace wyr::zok::accuracy

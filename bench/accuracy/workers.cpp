#include "accuracy/workers.hpp"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <numeric>
#include <string>

namespace wyr::zok::accuracy {
namespace {

// What a worker tells the parent; 12 bytes, below PIPE_BUF, so that every write to the shared
// pipe is atomic.
struct Report {
    int32_t worker; // the worker's slot
    int32_t sequence;
    int32_t frames; // frames done in it so far: 0 as it takes it, -1 when it is finished
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
[[noreturn]] void work(int32_t slot, int workFd, int reportFd, const std::string& dir,
                       const std::vector<RealSequence>& sequences,
                       const std::vector<TrackerRow>& rows, const SequenceRunner& runner) {
    int32_t s = 0;
    while (read(workFd, &s, sizeof s) == ssize_t(sizeof s)) {
        const Report taken{slot, s, 0};
        writeAll(reportFd, &taken, sizeof taken);
        size_t reported = 0;
        const SequenceRun run = runner(sequences[size_t(s)], rows, [&](size_t done) {
            if (done - reported >= 10) {
                const Report r{slot, s, int32_t(done)};
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
        const Report r{slot, s, -1};
        writeAll(reportFd, &r, sizeof r);
    }
    _exit(0);
}

using Clock = std::chrono::steady_clock;

// A worker process as the parent sees it.
struct Worker {
    pid_t pid = -1;            // none when it has ended
    int32_t sequence = -1;     // the sequence it works on, if any
    Clock::time_point heard{}; // when it last reported
};

} // namespace

std::vector<SequenceRun> runAll(const std::vector<RealSequence>& sequences,
                                const std::vector<TrackerRow>& rows, int jobs,
                                const SequenceRunner& runner, double stallSeconds) {
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

    size_t totalFrames = 0;
    for (const RealSequence& seq : sequences) {
        totalFrames += seq.frames.size();
    }
    ProgressBar bar(sequences.size(), totalFrames);
    std::vector<size_t> done(sequences.size(), 0);
    size_t framesDone = 0;
    auto advance = [&](size_t s, size_t now) {
        framesDone += now - std::min(now, done[s]);
        done[s] = std::max(done[s], now);
        bar.frames(framesDone);
    };

    // The parent keeps both pipes' other ends, to start a worker in place of a hung one.
    std::vector<Worker> workers(size_t(std::max(1, jobs)));
    size_t live = 0;
    auto startWorker = [&](size_t slot) {
        std::cout.flush();
        std::cerr.flush();
        const pid_t pid = fork();
        if (pid == 0) {
            close(reportPipe[0]);
            work(int32_t(slot), workPipe[0], reportPipe[1], dir, sequences, rows, runner);
        }
        workers[slot] = Worker{pid, -1, Clock::now()};
        live += pid > 0;
    };
    for (size_t slot = 0; slot < workers.size(); ++slot) {
        startWorker(slot);
    }

    std::string stopped;
    auto ended = [&](Worker& w, int status) {
        if (WIFSIGNALED(status)) {
            stopped = " (a worker was stopped by signal " + std::to_string(WTERMSIG(status)) + ")";
        }
        w.pid = -1;
        --live;
    };
    std::vector<std::string> hung(sequences.size());
    const auto stall = std::chrono::duration<double>(stallSeconds);
    for (;;) {
        pollfd ready{reportPipe[0], POLLIN, 0};
        // Once every worker has ended, only what they left in the pipe is read.
        if (poll(&ready, 1, live > 0 ? 200 : 0) > 0) {
            Report r{};
            if (read(reportPipe[0], &r, sizeof r) == ssize_t(sizeof r) && r.worker >= 0 &&
                size_t(r.worker) < workers.size() && r.sequence >= 0 &&
                size_t(r.sequence) < sequences.size()) {
                const size_t s = size_t(r.sequence);
                Worker& w = workers[size_t(r.worker)];
                w.heard = Clock::now();
                w.sequence = r.frames < 0 ? -1 : r.sequence;
                advance(s, r.frames < 0 ? sequences[s].frames.size() : size_t(r.frames));
                if (r.frames < 0) {
                    bar.finished(sequences[s].name);
                }
            }
        } else if (live == 0) {
            break;
        }
        for (size_t slot = 0; slot < workers.size(); ++slot) {
            Worker& w = workers[slot];
            int status = 0;
            if (w.pid > 0 && waitpid(w.pid, &status, WNOHANG) == w.pid) {
                ended(w, status);
            } else if (w.pid > 0 && w.sequence >= 0 && Clock::now() - w.heard > stall) {
                // A hung thread cannot be stopped, but a process can.
                const size_t s = size_t(w.sequence);
                kill(w.pid, SIGKILL);
                waitpid(w.pid, &status, 0);
                w.pid = -1;
                --live;
                hung[s] = sequences[s].name + ": no progress for " +
                          std::to_string(int(std::ceil(stallSeconds))) +
                          " s, a tracker never returned; its worker was stopped";
                advance(s, sequences[s].frames.size());
                bar.finished(sequences[s].name);
                startWorker(slot);
            }
        }
    }
    close(reportPipe[0]);
    close(reportPipe[1]);
    close(workPipe[0]);
    bar.end();

    for (size_t s = 0; s < sequences.size(); ++s) {
        const std::string path = dir + "/" + std::to_string(s);
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (!f || !readRun(f, runs[s])) {
            runs[s] = SequenceRun{};
            runs[s].problem =
                !hung[s].empty()
                    ? hung[s]
                    : sequences[s].name + ": its worker stopped before finishing it" + stopped;
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

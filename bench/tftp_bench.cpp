// tftp-bench: times one image fetched over loopback from our listener and
// session (orb-bench-serve, a fresh process per transfer, as the program serves
// one transfer and ends), from tftpd-hpa and from atftpd, with the same client
// for all, run by run in turn so that a noisy machine hits them alike. bench/run
// calls it; see docs/benchmarks.md for what the figures mean.
//
//   tftp-bench transfer --image FILE[:RUNS] ... [--warmup N] [--clients curl,atftp]
//                       [--placements same,split] TOOLS
//   tftp-bench idle --seconds N TOOLS
//   TOOLS: --serve PATH --pingpong PATH --tftpd PATH --atftpd PATH --work DIR
//
// A transfer is timed from the client's start (vfork) to its end (pidfd readable),
// the server already listening. Each fetched file is compared with the image.
// Results: markdown on standard output, every run in WORK/runs.tsv.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "bench/monotonic_clock.h"

namespace {

// --- Processes -----------------------------------------------------------------

constexpr const char* kServedName = "orb1a2b.bin";
constexpr const char* kOurAddress = "127.0.11.1";
constexpr const char* kHpaAddress = "127.0.11.2";
constexpr const char* kAtftpdAddress = "127.0.11.3";
constexpr const char* kPingPongAddress = "127.0.11.9";
constexpr int kHpaPort = 6969;
constexpr int kAtftpdPort = 6970;
constexpr int kClientTimeoutMs = 60000;

[[noreturn]] void fail(const std::string& why) {
    std::fprintf(stderr, "tftp-bench: %s\n", why.c_str());
    std::exit(1);
}

void pinSelf(int cpu) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    if (sched_setaffinity(0, sizeof set, &set) != 0) fail("cannot pin to CPU " + std::to_string(cpu));
}

std::vector<std::string> pinned(int cpu, std::vector<std::string> argv) {
    argv.insert(argv.begin(), {"taskset", "-c", std::to_string(cpu)});
    return argv;
}

[[noreturn]] void execArgv(const std::vector<std::string>& argv) {
    std::vector<char*> raw;
    for (const auto& a : argv) raw.push_back(const_cast<char*>(a.c_str()));
    raw.push_back(nullptr);
    execvp(raw[0], raw.data());
    std::fprintf(stderr, "tftp-bench: cannot run %s: %s\n", raw[0], std::strerror(errno));
    _exit(127);
}

// Child: stdin from /dev/null, stdout and stderr appended to `log`, `reportFd`
// as fd 3, pinned to `cpu` (-1: as inherited). vfork: the timed client must not
// pay for copying this process's page tables (it holds the images).
pid_t spawn(const std::vector<std::string>& argv, const std::string& log, int reportFd = -1, int cpu = -1) {
    std::vector<char*> raw;
    for (const auto& a : argv) raw.push_back(const_cast<char*>(a.c_str()));
    raw.push_back(nullptr);
    cpu_set_t set;
    CPU_ZERO(&set);
    if (cpu >= 0) CPU_SET(cpu, &set);
    const char* logPath = log.c_str();
    pid_t pid = vfork();
    if (pid < 0) fail("vfork");
    if (pid == 0) {
        // Only system calls here: the child shares this process's memory until exec.
        if (cpu >= 0 && sched_setaffinity(0, sizeof set, &set) != 0) _exit(126);
        if (reportFd >= 0) {
            if (reportFd != 3)
                dup2(reportFd, 3);
            else
                fcntl(3, F_SETFD, 0);
        }
        int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (in >= 0) dup2(in, 0);
        int out = open(logPath, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
        }
        execvp(raw[0], raw.data());
        _exit(127);
    }
    return pid;
}

struct Ended {
    bool exited = false;  // false: timed out and killed
    int status = 0;
};

// Waits for `pid` to end, at most timeoutMs; kills it after that. Wakes the
// moment the child ends (pidfd), so the caller's clock reads its end.
Ended waitEnd(pid_t pid, int timeoutMs, long long* endedNs = nullptr) {
    Ended result;
    int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd >= 0) {
        pollfd entry{pidfd, POLLIN, 0};
        int ready;
        do ready = poll(&entry, 1, timeoutMs);
        while (ready < 0 && errno == EINTR);
        if (endedNs != nullptr) *endedNs = monotonicNs();
        close(pidfd);
        if (ready == 0) kill(pid, SIGKILL);
        result.exited = ready > 0;
    } else {
        result.exited = true;  // no pidfd: a plain blocking wait
    }
    while (waitpid(pid, &result.status, 0) < 0 && errno == EINTR) {}
    if (endedNs != nullptr && pidfd < 0) *endedNs = monotonicNs();
    return result;
}

void stop(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    Ended e = waitEnd(pid, 2000);
    (void)e;
}

// Lines from a pipe, each read bounded by a time-out.
class LineReader {
public:
    explicit LineReader(int fd) : fd_(fd) {}
    std::optional<std::string> next(int timeoutMs) {
        long long deadline = monotonicNs() + static_cast<long long>(timeoutMs) * 1000000LL;
        for (;;) {
            auto newline = buffer_.find('\n');
            if (newline != std::string::npos) {
                std::string line = buffer_.substr(0, newline);
                buffer_.erase(0, newline + 1);
                return line;
            }
            long long left = (deadline - monotonicNs()) / 1000000LL;
            if (left <= 0) return std::nullopt;
            pollfd entry{fd_, POLLIN, 0};
            if (poll(&entry, 1, static_cast<int>(left)) <= 0) continue;
            char chunk[512];
            ssize_t got = read(fd_, chunk, sizeof chunk);
            if (got <= 0) return std::nullopt;
            buffer_.append(chunk, static_cast<size_t>(got));
        }
    }

private:
    int fd_;
    std::string buffer_;
};

// "key value key value ..." after a first word.
std::map<std::string, std::string> fields(const std::string& line) {
    std::map<std::string, std::string> out;
    std::istringstream in(line);
    std::string key, value;
    in >> key >> value;
    out[key] = value;
    while (in >> key >> value) out[key] = value;
    return out;
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// --- Statistics ------------------------------------------------------------------

double quantile(std::vector<double> v, double q) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    double at = q * static_cast<double>(v.size() - 1);
    auto low = static_cast<size_t>(std::floor(at));
    size_t high = std::min(low + 1, v.size() - 1);
    return v[low] + (v[high] - v[low]) * (at - static_cast<double>(low));
}
double median(const std::vector<double>& v) { return quantile(v, 0.5); }

std::string fixed(double value, int decimals) {
    if (std::isnan(value)) return "-";
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// --- The benchmark ---------------------------------------------------------------

struct Tools {
    std::string serve, pingpong, tftpd, atftpd, work;
};

struct Placement {
    std::string name;
    int serverCpu;
    int clientCpu;
};

enum class Server { Ours, Hpa, Atftpd, PingPong };
const char* serverName(Server s) {
    switch (s) {
        case Server::Ours: return "orb-upgrade";
        case Server::Hpa: return "tftpd-hpa";
        case Server::Atftpd: return "atftpd";
        case Server::PingPong: return "floor";
    }
    return "?";
}

struct Image {
    std::string path;
    int runs;
    std::vector<uint8_t> bytes;
    int blocks;
};

struct Run {
    double wholeMs = NAN;     // client start to client end
    double transferMs = NAN;  // ours: accepted request to last ACK, on our side
    double cpuUs = NAN, vcsw = NAN, ivcsw = NAN;
    double maxRssKb = NAN;
    double rttUs = NAN;      // ping-pong: median round trip
    double rttMeanUs = NAN;  // ping-pong: mean round trip
    bool ok = false;
};

class Bench {
public:
    Bench(Tools tools) : tools_(std::move(tools)) {
        scratch_ = "/dev/shm/orb-tftp-bench-" + std::to_string(getpid());
        served_ = scratch_ + "/served";
        mkdir(scratch_.c_str(), 0755);
        mkdir(served_.c_str(), 0755);
        log_ = tools_.work + "/servers.log";
    }
    ~Bench() {
        stopPeers();
        std::remove(outPath().c_str());
        std::remove((scratch_ + "/pingpong.txt").c_str());
        std::remove((served_ + "/" + kServedName).c_str());
        rmdir(served_.c_str());
        rmdir(scratch_.c_str());
        if (tsv_ != nullptr) std::fclose(tsv_);
    }

    using Key = std::tuple<size_t, std::string, std::string, Server>;  // image, placement, client, server
    std::map<Key, std::vector<Run>> results;

    void measure(const std::vector<Image>& images, const std::vector<Placement>& placements,
                 const std::vector<std::string>& clients, int warmup) {
        tsv_ = std::fopen((tools_.work + "/runs.tsv").c_str(), "we");
        if (tsv_ == nullptr) fail("cannot write " + tools_.work + "/runs.tsv");
        std::fputs(
            "image_bytes\tplacement\tclient\tround\tserver\tok\twhole_ms\ttransfer_ms\tcpu_us\tvcsw\tpeak_rss_kb\t"
            "rtt_us\trtt_mean_us\n",
            tsv_);
        for (size_t i = 0; i < images.size(); ++i) {
            const Image& image = images[i];
            writeServedImage(image);
            for (const Placement& placement : placements) {
                startPeers(placement);
                for (const std::string& client : clients) {
                    std::fprintf(stderr, "tftp-bench: %d bytes, %s, %s: ", static_cast<int>(image.bytes.size()),
                                 client.c_str(), placement.name.c_str());
                    const Server order[] = {Server::Ours, Server::Hpa, Server::Atftpd, Server::PingPong};
                    for (int round = -warmup; round < image.runs; ++round) {
                        // A B C D, B C D A, ...: each takes every position in turn.
                        int shift = (round + warmup) % 4;
                        for (int k = 0; k < 4; ++k) {
                            Server server = order[(k + shift) % 4];
                            Run run = runOne(image, placement, client, server);
                            if (round < 0) continue;
                            results[{i, placement.name, client, server}].push_back(run);
                            record(image, placement, client, round, server, run);
                        }
                        std::fputc(round < 0 ? 'w' : '.', stderr);
                    }
                    std::fputc('\n', stderr);
                }
                stopPeers();
            }
        }
    }

    // CPU time of the waiting listener over `seconds` with no request, headless
    // and with the terminal view drawing the waiting window on a pseudo-terminal.
    void measureIdle(int seconds, const std::string& view, int cpu) {
        int report[2];
        if (pipe2(report, O_CLOEXEC) != 0) fail("pipe");
        std::vector<std::string> argv =
            pinned(cpu, {tools_.serve, "--image", served_ + "/" + kServedName, "--address", kOurAddress, "--report-fd",
                         "3", "--idle", std::to_string(seconds), "--view", view});
        pid_t pid;
        int master = -1;
        if (view == "terminal") {
            winsize size{};
            size.ws_row = 24;
            size.ws_col = 80;
            pid = forkpty(&master, nullptr, nullptr, &size);
            if (pid < 0) fail("forkpty");
            if (pid == 0) {
                if (report[1] != 3)
                    dup2(report[1], 3);
                else
                    fcntl(3, F_SETFD, 0);
                setenv("TERM", "xterm", 0);
                execArgv(argv);
            }
        } else {
            pid = spawn(argv, log_, report[1]);
        }
        close(report[1]);
        LineReader lines(report[0]);
        std::optional<std::string> result;
        long long deadline = monotonicNs() + (seconds + 20) * 1000000000LL;
        while (!result && monotonicNs() < deadline) {
            if (master >= 0) {  // keep the terminal drained so that the view never blocks
                char sink[4096];
                pollfd entry{master, POLLIN, 0};
                while (poll(&entry, 1, 0) > 0 && read(master, sink, sizeof sink) > 0) {}
            }
            auto line = lines.next(master >= 0 ? 20 : 1000);
            if (line && line->rfind("idle", 0) == 0) result = line;
        }
        if (master >= 0) {
            char sink[4096];
            pollfd entry{master, POLLIN, 0};
            while (poll(&entry, 1, 100) > 0 && read(master, sink, sizeof sink) > 0) {}
        }
        waitEnd(pid, 5000);
        close(report[0]);
        if (master >= 0) close(master);
        if (!result) {
            std::printf("| %s | no result |\n", view.c_str());
            return;
        }
        auto f = fields(*result);
        double wall = std::atof(f["idle"].c_str());
        double cpuUs = std::atof(f["cpu_us"].c_str());
        std::printf("| %s | %s | %s | %s %% | %s |\n", view.c_str(), fixed(wall, 1).c_str(),
                    fixed(cpuUs / 1000.0, 1).c_str(), fixed(cpuUs / (wall * 1e6) * 100.0, 2).c_str(),
                    fixed(std::atof(f["vcsw"].c_str()) / wall, 0).c_str());
        std::fflush(stdout);
    }

    void writeServedImage(const Image& image) {
        std::string path = served_ + "/" + kServedName;
        FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr || std::fwrite(image.bytes.data(), 1, image.bytes.size(), file) != image.bytes.size())
            fail("cannot write " + path);
        std::fclose(file);
        chmod(path.c_str(), 0644);
    }

private:
    std::string outPath() const { return scratch_ + "/fetched.bin"; }

    void startPeers(const Placement& p) {
        stopPeers();
        hpa_ = spawn(pinned(p.serverCpu, {tools_.tftpd, "-L", "-a",
                                          std::string(kHpaAddress) + ":" + std::to_string(kHpaPort), "-s", served_}),
                     log_);
        atftpd_ =
            spawn(pinned(p.serverCpu, {tools_.atftpd, "--daemon", "--no-fork", "--port", std::to_string(kAtftpdPort),
                                       "--bind-address", kAtftpdAddress, "--user", "root", "--group", "root",
                                       "--logfile", tools_.work + "/atftpd.log", served_}),
                  log_);
        usleep(300000);  // both bound; warm-up runs catch a late one
        // A peer that could not bind its address (another copy holds it) ends at once.
        for (pid_t pid : {hpa_, atftpd_}) {
            if (waitpid(pid, nullptr, WNOHANG) == pid) {
                hpa_ = atftpd_ = -1;
                fail("a TFTP peer ended at start; see " + log_);
            }
        }
    }
    void stopPeers() {
        stop(hpa_);
        stop(atftpd_);
        hpa_ = atftpd_ = -1;
    }

    std::vector<std::string> clientArgv(const std::string& client, const char* address, int port) const {
        if (client == "curl") {
            // "//name": curl sends the path after the first "/", so the request
            // names "/orb1a2b.bin", as the adapter's does.
            return {"curl",
                    "-s",
                    "--max-time",
                    "60",
                    "--tftp-blksize",
                    "512",
                    "tftp://" + std::string(address) + ":" + std::to_string(port) + "//" + kServedName,
                    "-o",
                    outPath()};
        }
        return {"atftp", "-g", "-r", std::string("/") + kServedName, "-l", outPath(), address, std::to_string(port)};
    }

    // Runs the client against a listening server; true when it ended in time
    // with exit code 0.
    bool timeClient(const std::string& client, const Placement& p, const char* address, int port, Run* run) {
        std::remove(outPath().c_str());
        long long start = monotonicNs();
        pid_t pid = spawn(clientArgv(client, address, port), tools_.work + "/clients.log", -1, p.clientCpu);
        long long ended = 0;
        Ended e = waitEnd(pid, kClientTimeoutMs, &ended);
        run->wholeMs = static_cast<double>(ended - start) / 1e6;
        return e.exited && WIFEXITED(e.status) && WEXITSTATUS(e.status) == 0;
    }

    bool fetchedImage(const Image& image) const { return readFile(outPath()) == image.bytes; }

    Run runOne(const Image& image, const Placement& p, const std::string& client, Server server) {
        Run run;
        switch (server) {
            case Server::Hpa: run.ok = timeClient(client, p, kHpaAddress, kHpaPort, &run) && fetchedImage(image); break;
            case Server::Atftpd:
                run.ok = timeClient(client, p, kAtftpdAddress, kAtftpdPort, &run) && fetchedImage(image);
                break;
            case Server::Ours: runOurs(image, p, client, &run); break;
            case Server::PingPong: runPingPong(p, &run); break;
        }
        return run;
    }

    void runOurs(const Image& image, const Placement& p, const std::string& client, Run* run) {
        int report[2];
        if (pipe2(report, O_CLOEXEC) != 0) fail("pipe");
        pid_t pid = spawn(pinned(p.serverCpu, {tools_.serve, "--image", served_ + "/" + kServedName, "--address",
                                               kOurAddress, "--report-fd", "3"}),
                          log_, report[1]);
        close(report[1]);
        LineReader lines(report[0]);
        auto listening = lines.next(10000);
        if (!listening || listening->rfind("listening ", 0) != 0) {
            kill(pid, SIGKILL);
            waitEnd(pid, 1000);
            close(report[0]);
            return;
        }
        int port = std::atoi(listening->c_str() + 10);
        bool clientOk = timeClient(client, p, kOurAddress, port, run);
        auto done = lines.next(10000);
        waitEnd(pid, 5000);
        close(report[0]);
        if (done && done->rfind("transfer ", 0) == 0) {
            auto f = fields(*done);
            run->transferMs = std::atof(f["transfer"].c_str()) / 1e6;
            run->cpuUs = std::atof(f["cpu_us"].c_str());
            run->vcsw = std::atof(f["vcsw"].c_str());
            run->ivcsw = std::atof(f["ivcsw"].c_str());
            run->maxRssKb = std::atof(f["peak_rss_kb"].c_str());
        }
        run->ok = clientOk && done && done->rfind("transfer ", 0) == 0 && fetchedImage(image);
    }

    void runPingPong(const Placement& p, Run* run) {
        std::string out = scratch_ + "/pingpong.txt";
        std::remove(out.c_str());
        pid_t pid = spawn({tools_.pingpong, "--address", kPingPongAddress, "--server-cpu", std::to_string(p.serverCpu),
                           "--client-cpu", std::to_string(p.clientCpu), "--count", "1500", "--warmup", "100"},
                          out);
        Ended e = waitEnd(pid, 30000);
        std::ifstream in(out);
        std::string line;
        std::getline(in, line);
        if (e.exited && line.rfind("rtt_ns ", 0) == 0) {
            auto f = fields(line);
            run->rttUs = std::atof(f["rtt_ns"].c_str()) / 1000.0;
            run->rttMeanUs = std::atof(f["mean"].c_str()) / 1000.0;
            run->ok = true;
        }
    }

    void record(const Image& image, const Placement& p, const std::string& client, int round, Server server,
                const Run& r) {
        std::fprintf(tsv_, "%zu\t%s\t%s\t%d\t%s\t%d\t%.4f\t%.4f\t%.0f\t%.0f\t%.0f\t%.3f\t%.3f\n", image.bytes.size(),
                     p.name.c_str(), client.c_str(), round, serverName(server), r.ok ? 1 : 0, r.wholeMs, r.transferMs,
                     r.cpuUs, r.vcsw, r.maxRssKb, r.rttUs, r.rttMeanUs);
        std::fflush(tsv_);
    }

    Tools tools_;
    std::string scratch_, served_, log_;
    FILE* tsv_ = nullptr;
    pid_t hpa_ = -1, atftpd_ = -1;
};

// --- Report ----------------------------------------------------------------------

std::vector<double> pick(const std::vector<Run>& runs, double Run::*field, bool okOnly = true) {
    std::vector<double> out;
    for (const Run& r : runs)
        if ((!okOnly || r.ok) && !std::isnan(r.*field)) out.push_back(r.*field);
    return out;
}

int failures(const std::vector<Run>& runs) {
    return static_cast<int>(std::count_if(runs.begin(), runs.end(), [](const Run& r) { return !r.ok; }));
}

// ours/peer per round, for the rounds where both succeeded.
std::vector<double> pairedRatios(const std::vector<Run>& ours, const std::vector<Run>& peer) {
    std::vector<double> out;
    for (size_t i = 0; i < ours.size() && i < peer.size(); ++i)
        if (ours[i].ok && peer[i].ok) out.push_back(ours[i].wholeMs / peer[i].wholeMs);
    return out;
}

std::string range(const std::vector<double>& v, int decimals) {
    return fixed(quantile(v, 0.25), decimals) + "–" + fixed(quantile(v, 0.75), decimals);
}

void report(const Bench& bench, const std::vector<Image>& images, const std::vector<Placement>& placements,
            const std::vector<std::string>& clients) {
    auto runsOf = [&](size_t i, const Placement& p, const std::string& c, Server s) -> const std::vector<Run>& {
        static const std::vector<Run> none;
        auto it = bench.results.find({i, p.name, c, s});
        return it == bench.results.end() ? none : it->second;
    };
    const Server peers[] = {Server::Hpa, Server::Atftpd};

    std::printf("## Summary\n\n");
    std::printf("Whole transfer, median of the runs (ms); ours ÷ peer is the median of the per-round ratios.\n\n");
    std::printf(
        "| image | client | placement | orb-upgrade | tftpd-hpa | atftpd | ours ÷ best peer | our transfer ÷ "
        "floor | our CPU µs per block |\n|---|---|---|---|---|---|---|---|---|\n");
    for (size_t i = 0; i < images.size(); ++i) {
        for (const std::string& c : clients) {
            for (const Placement& p : placements) {
                const auto& ours = runsOf(i, p, c, Server::Ours);
                double best = INFINITY;
                Server bestPeer = Server::Hpa;
                for (Server s : peers) {
                    double m = median(pick(runsOf(i, p, c, s), &Run::wholeMs));
                    if (m < best) {
                        best = m;
                        bestPeer = s;
                    }
                }
                double floorMs =
                    median(pick(runsOf(i, p, c, Server::PingPong), &Run::rttUs)) * images[i].blocks / 1000.0;
                std::printf("| %zu B | %s | %s | %s | %s | %s | %s (%s) | %s | %s |\n", images[i].bytes.size(),
                            c.c_str(), p.name.c_str(), fixed(median(pick(ours, &Run::wholeMs)), 1).c_str(),
                            fixed(median(pick(runsOf(i, p, c, Server::Hpa), &Run::wholeMs)), 1).c_str(),
                            fixed(median(pick(runsOf(i, p, c, Server::Atftpd), &Run::wholeMs)), 1).c_str(),
                            fixed(median(pairedRatios(ours, runsOf(i, p, c, bestPeer))), 2).c_str(),
                            serverName(bestPeer), fixed(median(pick(ours, &Run::transferMs)) / floorMs, 2).c_str(),
                            fixed(median(pick(ours, &Run::cpuUs)) / images[i].blocks, 2).c_str());
            }
        }
    }

    for (size_t i = 0; i < images.size(); ++i) {
        const Image& image = images[i];
        for (const std::string& c : clients) {
            for (const Placement& p : placements) {
                std::printf("\n### %zu bytes (%d blocks), %s, %s (server CPU %d, client CPU %d)\n\n",
                            image.bytes.size(), image.blocks, c.c_str(), p.name.c_str(), p.serverCpu, p.clientCpu);
                std::printf(
                    "| server | runs | failed | median ms | p25–p75 ms | min ms | ours ÷ this (p25–p75) |\n"
                    "|---|---|---|---|---|---|---|\n");
                const auto& ours = runsOf(i, p, c, Server::Ours);
                for (Server s : {Server::Ours, Server::Hpa, Server::Atftpd}) {
                    const auto& runs = runsOf(i, p, c, s);
                    auto whole = pick(runs, &Run::wholeMs);
                    auto ratios = pairedRatios(ours, runs);
                    std::string ratio =
                        s == Server::Ours ? "—" : fixed(median(ratios), 2) + " (" + range(ratios, 2) + ")";
                    double minimum = whole.empty() ? NAN : *std::min_element(whole.begin(), whole.end());
                    std::printf("| %s | %zu | %d | %s | %s | %s | %s |\n", serverName(s), runs.size(), failures(runs),
                                fixed(median(whole), 2).c_str(), range(whole, 2).c_str(), fixed(minimum, 2).c_str(),
                                ratio.c_str());
                }
                auto rtt = pick(runsOf(i, p, c, Server::PingPong), &Run::rttUs);
                double floorMs = median(rtt) * image.blocks / 1000.0;
                auto transfer = pick(ours, &Run::transferMs);
                double blocks = image.blocks;
                auto rttMean = pick(runsOf(i, p, c, Server::PingPong), &Run::rttMeanUs);
                std::printf(
                    "\n- Lock-step floor: %d blocks × %s µs (median round trip of 516 + 4 bytes; p25–p75 of "
                    "the per-round medians %s µs) = %s ms. With the mean round trip instead (%s µs: what "
                    "this run's load adds to a bare ping-pong): %s ms.\n",
                    image.blocks, fixed(median(rtt), 2).c_str(), range(rtt, 2).c_str(), fixed(floorMs, 2).c_str(),
                    fixed(median(rttMean), 2).c_str(), fixed(median(rttMean) * image.blocks / 1000.0, 2).c_str());
                std::printf(
                    "- Our transfer (accepted request to last ACK, on our side): median %s ms (p25–p75 %s) "
                    "= %s × the floor; %s µs per block.\n",
                    fixed(median(transfer), 2).c_str(), range(transfer, 2).c_str(),
                    fixed(median(transfer) / floorMs, 2).c_str(), fixed(median(transfer) * 1000.0 / blocks, 2).c_str());
                std::printf(
                    "- Our listener thread per block: %s µs CPU, %s voluntary and %s involuntary context "
                    "switches.\n",
                    fixed(median(pick(ours, &Run::cpuUs)) / blocks, 2).c_str(),
                    fixed(median(pick(ours, &Run::vcsw)) / blocks, 2).c_str(),
                    fixed(median(pick(ours, &Run::ivcsw)) / blocks, 2).c_str());
                std::printf("- Peak resident memory of our server process (VmHWM): %s KiB (median).\n",
                            fixed(median(pick(ours, &Run::maxRssKb, false)), 0).c_str());
            }
        }
    }

    if (images.size() >= 2) {
        const Image& small = images.front();
        const Image& big = images.back();
        std::printf("\n## Scaling: %zu → %zu bytes (%d → %d blocks)\n\n", small.bytes.size(), big.bytes.size(),
                    small.blocks, big.blocks);
        std::printf(
            "Cost of one more block, from the two sizes' medians ((big − small) ÷ (%d − %d)), against the "
            "small image's whole time per block.\n\n",
            big.blocks, small.blocks);
        std::printf(
            "| client | placement | server | small ms | big ms | big ÷ small | µs per added block | "
            "small µs per block |\n|---|---|---|---|---|---|---|---|\n");
        for (const std::string& c : clients) {
            for (const Placement& p : placements) {
                for (Server s : {Server::Ours, Server::Hpa, Server::Atftpd}) {
                    double a = median(pick(runsOf(0, p, c, s), &Run::wholeMs));
                    double b = median(pick(runsOf(images.size() - 1, p, c, s), &Run::wholeMs));
                    std::printf("| %s | %s | %s | %s | %s | %s | %s | %s |\n", c.c_str(), p.name.c_str(), serverName(s),
                                fixed(a, 1).c_str(), fixed(b, 1).c_str(), fixed(b / a, 2).c_str(),
                                fixed((b - a) * 1000.0 / (big.blocks - small.blocks), 2).c_str(),
                                fixed(a * 1000.0 / small.blocks, 2).c_str());
                }
                double ta = median(pick(runsOf(0, p, c, Server::Ours), &Run::transferMs));
                double tb = median(pick(runsOf(images.size() - 1, p, c, Server::Ours), &Run::transferMs));
                std::printf("| %s | %s | our transfer | %s | %s | %s | %s | %s |\n", c.c_str(), p.name.c_str(),
                            fixed(ta, 1).c_str(), fixed(tb, 1).c_str(), fixed(tb / ta, 2).c_str(),
                            fixed((tb - ta) * 1000.0 / (big.blocks - small.blocks), 2).c_str(),
                            fixed(ta * 1000.0 / small.blocks, 2).c_str());
            }
        }
    }
    std::fflush(stdout);
}

std::vector<std::string> split(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) out.push_back(item);
    return out;
}

[[noreturn]] void usage() {
    std::fputs(
        "usage: tftp-bench transfer --image FILE[:RUNS]... [--warmup N] [--clients curl,atftp] "
        "[--placements same,split] TOOLS\n"
        "       tftp-bench idle --seconds N [--views headless,terminal] [--image FILE] TOOLS\n"
        "TOOLS: --serve PATH --pingpong PATH --tftpd PATH --atftpd PATH --work DIR\n",
        stderr);
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) usage();
    std::string mode = argv[1];
    Tools tools;
    std::vector<Image> images;
    int warmup = 3, seconds = 10;
    std::vector<std::string> clients{"curl", "atftp"};
    std::vector<std::string> placementNames{"same", "split"};
    std::vector<std::string> views{"headless", "terminal"};
    for (int i = 2; i < argc; ++i) {
        std::string option = argv[i];
        if (i + 1 >= argc) usage();
        std::string value = argv[++i];
        if (option == "--image") {
            Image image;
            auto colon = value.rfind(':');
            image.path = colon == std::string::npos ? value : value.substr(0, colon);
            image.runs = colon == std::string::npos ? 20 : std::atoi(value.c_str() + colon + 1);
            images.push_back(image);
        } else if (option == "--warmup")
            warmup = std::atoi(value.c_str());
        else if (option == "--clients")
            clients = split(value);
        else if (option == "--placements")
            placementNames = split(value);
        else if (option == "--views")
            views = split(value);
        else if (option == "--seconds")
            seconds = std::atoi(value.c_str());
        else if (option == "--serve")
            tools.serve = value;
        else if (option == "--pingpong")
            tools.pingpong = value;
        else if (option == "--tftpd")
            tools.tftpd = value;
        else if (option == "--atftpd")
            tools.atftpd = value;
        else if (option == "--work")
            tools.work = value;
        else
            usage();
    }
    if (tools.serve.empty() || tools.work.empty() || images.empty()) usage();
    for (Image& image : images) {
        image.bytes = readFile(image.path);
        if (image.bytes.empty()) fail("cannot read " + image.path);
        image.blocks = static_cast<int>(image.bytes.size() / 512 + 1);
        if (image.blocks > 65535) fail(image.path + " needs more than 65535 blocks");
    }
    signal(SIGPIPE, SIG_IGN);

    std::vector<Placement> placements;
    for (const std::string& name : placementNames) {
        if (name == "same")
            placements.push_back({"same CPU", 0, 0});
        else if (name == "split")
            placements.push_back({"different CPUs", 0, 1});
        else
            usage();
    }
    // The driver sits on the last CPU, out of the way of a same-CPU pair; it
    // only sleeps while a transfer runs.
    long cpus = sysconf(_SC_NPROCESSORS_ONLN);
    pinSelf(static_cast<int>(cpus > 1 ? cpus - 1 : 0));

    Bench bench(tools);
    if (mode == "idle") {
        bench.writeServedImage(images.front());
        std::printf("| view | seconds | CPU ms | share of one core | wake-ups per second |\n|---|---|---|---|---|\n");
        for (const std::string& view : views) bench.measureIdle(seconds, view, 0);
        return 0;
    }
    if (mode != "transfer") usage();
    if (tools.pingpong.empty() || tools.tftpd.empty() || tools.atftpd.empty()) usage();
    bench.measure(images, placements, clients, warmup);
    report(bench, images, placements, clients);
    return 0;
}

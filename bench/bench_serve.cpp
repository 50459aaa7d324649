// orb-bench-serve: our listener and session serving one image, headless, for
// the benchmark (bench/run). One process serves exactly one transfer, as the
// program does.
//
//   orb-bench-serve --image FILE --address 127.0.11.1 [--report-fd N] [--trace]
//                   [--idle SECONDS] [--view headless|terminal]
//
// Lines written to the report descriptor (standard output by default):
//   listening PORT        the waiting window is up: the listener is polling
//   transfer NS cpu_us N vcsw N ivcsw N peak_rss_kb N [blocks N resends N]
//                         from the upload window's creation (the request was
//                         accepted; the OACK goes out next) to the end of the
//                         transfer loop, with the listener thread's CPU time
//                         and context switches meanwhile, and the process's
//                         peak resident memory
//   idle SECONDS cpu_us N vcsw N ivcsw N
//                         (--idle) the whole process over SECONDS of waiting
//                         with no request
//
// The marks cost the transfer nothing: the start is the view's notice of the
// new window, the end is the first read of the clock, which the restart wait
// makes right after the last ACK (the transfer loop reads no clock). The
// process ends there: the restart wait and the status query are not measured,
// and ending keeps the query off the network. --trace adds a trace sink that
// counts the blocks sent and the resends, at the price of formatting every
// trace message.
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/process.h"
#include "base/trace.h"
#include "dialogs/dialog_view.h"
#include "dialogs/front_ends.h"
#include "upgrade/dialog_ids.h"
#include "upgrade/run_state.h"
#include "upgrade/serve_image.h"
#include "tests/support/dialog_robot.h"

#include "bench/monotonic_clock.h"

namespace {

constexpr const char* kServedName = "/orb1a2b.bin";
constexpr uint32_t kNoRequestLimitMs = 120000;  // a server that nobody asks ends by itself

std::vector<uint8_t> image;
uint32_t listenAddress = 0;
int idleSeconds = 0;
bool traced = false;
FILE* report = stdout;

struct Mark {
    long long ns = 0;
    rusage usage{};
};
Mark started;
std::atomic<bool> transferStarted{false};
int blocksSent = 0;
int resends = 0;

long long cpuMicroseconds(const rusage& u) {
    return (static_cast<long long>(u.ru_utime.tv_sec) + u.ru_stime.tv_sec) * 1000000LL + u.ru_utime.tv_usec +
           u.ru_stime.tv_usec;
}

Mark mark(int who) {
    Mark m;
    getrusage(who, &m.usage);
    m.ns = monotonicNs();
    return m;
}

// The headless view, plus a mark when the upload window opens (on the listener
// thread, which creates it).
class MarkingView : public orb::dialogs::DialogView {
public:
    void windowCreated(orb::WindowHandle window) override {
        if (transferStarted.load()) return;
        orb::dialogs::WindowState state;
        if (orb::dialogs::readWindowState(window, &state) && state.templateId == orb::kUploadWindowId) {
            started = mark(RUSAGE_THREAD);
            transferStarted = true;
        }
    }
};
MarkingView markingView;

// This program's own high-water mark (VmHWM). getrusage's ru_maxrss would also
// count the parent's pages that the process carried before its exec.
long peakResidentKb() {
    FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) return -1;
    char line[256];
    long kb = -1;
    while (std::fgets(line, sizeof line, status) != nullptr)
        if (std::sscanf(line, "VmHWM: %ld kB", &kb) == 1) break;
    std::fclose(status);
    return kb;
}

// The restart wait's first clock read: the transfer is over.
uint32_t onClockRead() {
    if (!transferStarted.load()) return 0;
    Mark ended = mark(RUSAGE_THREAD);
    std::fprintf(report, "transfer %lld cpu_us %lld vcsw %ld ivcsw %ld", ended.ns - started.ns,
                 cpuMicroseconds(ended.usage) - cpuMicroseconds(started.usage),
                 ended.usage.ru_nvcsw - started.usage.ru_nvcsw, ended.usage.ru_nivcsw - started.usage.ru_nivcsw);
    std::fprintf(report, " peak_rss_kb %ld", peakResidentKb());
    if (traced) std::fprintf(report, " blocks %d resends %d", blocksSent, resends);
    std::fputc('\n', report);
    orb::endProcess(0);
}

void onTrace(const char* text) {
    if (std::strncmp(text, "Send block", 10) == 0) ++blocksSent;
    if (std::strncmp(text, "ReSend", 6) == 0) ++resends;
}

bool parseAddress(const char* text, uint32_t* address) {
    unsigned a, b, c, d;
    char tail;
    if (std::sscanf(text, "%u.%u.%u.%u%c", &a, &b, &c, &d, &tail) != 4 || a != 127 || b > 255 || c > 255 || d > 255) {
        return false;  // loopback only
    }
    *address = a << 24 | b << 16 | c << 8 | d;
    return true;
}

int runServer() {
    uint16_t port = orb::startTftpListener(listenAddress);
    if (orb::robot::waitForDialog(orb::kWaitingWindowId, 10000) == nullptr) {
        std::fputs("no waiting window\n", report);
        orb::endProcess(2);
    }
    if (idleSeconds > 0) {
        Mark before = mark(RUSAGE_SELF);
        std::fprintf(report, "listening %u\n", static_cast<unsigned>(port));
        std::fflush(report);
        orb::sleepMilliseconds(static_cast<uint32_t>(idleSeconds) * 1000u);
        Mark after = mark(RUSAGE_SELF);
        std::fprintf(report, "idle %.3f cpu_us %lld vcsw %ld ivcsw %ld\n", (after.ns - before.ns) / 1e9,
                     cpuMicroseconds(after.usage) - cpuMicroseconds(before.usage),
                     after.usage.ru_nvcsw - before.usage.ru_nvcsw, after.usage.ru_nivcsw - before.usage.ru_nivcsw);
        orb::endProcess(0);
    }
    std::fprintf(report, "listening %u\n", static_cast<unsigned>(port));
    std::fflush(report);
    orb::sleepMilliseconds(kNoRequestLimitMs);
    std::fputs("no request\n", report);
    orb::endProcess(3);
}

[[noreturn]] void usage() {
    std::fputs(
        "usage: orb-bench-serve --image FILE --address 127.x.y.z [--report-fd N] [--trace] "
        "[--idle SECONDS] [--view headless|terminal]\n",
        stderr);
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    std::string imagePath;
    std::string view = "headless";
    bool haveAddress = false;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (option == "--trace") {
            traced = true;
            continue;
        }
        if (i + 1 >= argc) usage();
        const char* value = argv[++i];
        if (option == "--image") {
            imagePath = value;
        } else if (option == "--address") {
            haveAddress = parseAddress(value, &listenAddress);
        } else if (option == "--report-fd") {
            report = fdopen(std::atoi(value), "w");
            if (report == nullptr) usage();
        } else if (option == "--idle") {
            idleSeconds = std::atoi(value);
        } else if (option == "--view") {
            view = value;
        } else {
            usage();
        }
    }
    if (imagePath.empty() || !haveAddress || (view != "headless" && view != "terminal")) usage();
    FILE* file = std::fopen(imagePath.c_str(), "rb");
    if (file == nullptr) usage();
    for (uint8_t chunk[65536];;) {
        size_t got = std::fread(chunk, 1, sizeof chunk, file);
        image.insert(image.end(), chunk, chunk + got);
        if (got < sizeof chunk) break;
    }
    std::fclose(file);

    orb::robot::setAutoAnswer(true);
    if (traced) orb::setTraceSink(onTrace);
    orb::runState.instance = nullptr;
    orb::runState.pcAddress = listenAddress;
    std::snprintf(orb::runState.tftpFileName, sizeof orb::runState.tftpFileName, "%s", kServedName);
    // The adapter, the only host served: the benchmark's clients send from
    // loopback's preferred source address.
    orb::runState.deviceAddress = 0x7f000001;
    std::snprintf(orb::runState.deviceAddressText, sizeof orb::runState.deviceAddressText, "127.0.0.1");
    orb::runState.firmwareImage.data = image.data();
    orb::runState.firmwareImage.size = static_cast<uint32_t>(image.size());

    if (view == "terminal") orb::dialogs::runWithTerminalView(runServer);
    orb::dialogs::installDialogView(&markingView);
    orb::setClockSource(onClockRead);
    return runServer();
}

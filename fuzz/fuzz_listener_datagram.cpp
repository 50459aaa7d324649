// The waiting listener's handling of one datagram of any length (0..1024, as
// the receive area allows), in a heap block of exactly that length: no read
// past it, and the run's read request is the only one accepted.
#include "base/trace.h"
#include "tftp/listener_datagram.h"
#include "fuzz/fuzz_support.h"

using namespace orb;

namespace {

constexpr const char* kFileName = "/orb1a2b.bin";
constexpr ListenerPeers kFromAdapter{{0x7f000102, 4000}, 0x7f000102};
constexpr ListenerPeers kFromElsewhere{{0x7f000109, 4000}, 0x7f000102};

// The traces are formatted (the refused name goes through "%s") and read.
void readTrace(const char* text) { fuzz::require(std::strlen(text) < 4096, "a trace fits its buffer"); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setTraceSink(readTrace);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1024) return 0;  // the receive reports an error for a longer datagram
    auto datagram = fuzz::exactCopy(data, size);
    int length = static_cast<int>(size);
    ListenerVerdict verdict = handleListenerDatagram(datagram.get(), length, kFileName, kFromAdapter);

    const size_t nameLength = std::strlen(kFileName);
    bool isRunsRequest = size >= 2 + nameLength + 1 && data[0] == 0 && data[1] == 1 &&
                         std::memcmp(data + 2, kFileName, nameLength + 1) == 0;
    if (size < 2) {
        fuzz::require(verdict == ListenerVerdict::Idle, "a datagram without an opcode is an idle pass");
    } else {
        fuzz::require(verdict == (isRunsRequest ? ListenerVerdict::Accept : ListenerVerdict::Ignore),
                      "only the run's read request is accepted");
    }
    ListenerVerdict foreign = handleListenerDatagram(datagram.get(), length, kFileName, kFromElsewhere);
    fuzz::require(foreign != ListenerVerdict::Accept, "no other host is served");
    fuzz::require((foreign == ListenerVerdict::Foreign) == (size >= 2 && data[0] == 0 && data[1] == 1),
                  "every read request from another host is told as such");
    // Nothing arrived.
    fuzz::require(handleListenerDatagram(datagram.get(), -1, kFileName, kFromAdapter) == ListenerVerdict::Idle,
                  "nothing received is an idle pass");
    return 0;
}

#include "tests/support/fake_sockets.h"

#include <algorithm>
#include <cstring>

namespace orb::test {

namespace {

FakeSockets* fake = nullptr;
size_t nextChunk = 0;
size_t nextReceiveFrom = 0;
constexpr SocketHandle kFakeHandle = 7;

SocketCalls fakeCalls() {
    SocketCalls calls = systemSocketCalls();
    calls.open = [](SocketType) { return fake->openFails ? kInvalidSocket : kFakeHandle; };
    calls.bind = [](SocketHandle, const sockaddr_in*) {
        ++fake->binds;
        return fake->bindFailures < 0 || fake->binds <= fake->bindFailures ? -1 : 0;
    };
    calls.connect = [](SocketHandle, const sockaddr_in*) { return fake->connectFails ? -1 : 0; };
    calls.send = [](SocketHandle, const char* bytes, int length) {
        if (fake->sendFails) return -1;
        fake->sent.append(bytes, static_cast<size_t>(length));
        return length;
    };
    calls.recv = [](SocketHandle, char* bytes, int capacity) {
        if (nextChunk >= fake->chunks.size()) return fake->endWithError ? -1 : 0;
        const std::string& chunk = fake->chunks[nextChunk++];
        int n = std::min(capacity, static_cast<int>(chunk.size()));
        std::memcpy(bytes, chunk.data(), static_cast<size_t>(n));
        return n;
    };
    calls.sendTo = [](SocketHandle, const char*, int length, const sockaddr_in*) { return length; };
    calls.receiveFrom = [](SocketHandle, char* bytes, int capacity, sockaddr_in*) {
        if (nextReceiveFrom >= fake->receiveFromResults.size()) return -1;
        int result = fake->receiveFromResults[nextReceiveFrom++];
        if (result > 0) std::memset(bytes, 0, static_cast<size_t>(std::min(result, capacity)));
        return result;
    };
    calls.close = [](SocketHandle) { ++fake->closes; };
    calls.allowAddressReuse = [](SocketHandle) { return fake->reuseBeforeBind = fake->binds == 0; };
    return calls;
}

}  // namespace

FakeSocketsInstalled::FakeSocketsInstalled(FakeSockets* installed) {
    fake = installed;
    nextChunk = 0;
    nextReceiveFrom = 0;
    socketCalls() = fakeCalls();
}

FakeSocketsInstalled::~FakeSocketsInstalled() {
    socketCalls() = systemSocketCalls();
    fake = nullptr;
}

}  // namespace orb::test

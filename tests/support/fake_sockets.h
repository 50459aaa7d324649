// A socket call table for in-process tests: every call is answered from the
// test's script instead of the system, so a failure of any one call can be
// provoked without a peer. Install it for the life of a test.
#pragma once

#include <string>
#include <vector>

#include "platform/sockets.h"

namespace orb::test {

struct FakeSockets {
    // What the calls answer.
    bool openFails = false;
    int bindFailures = 0;  // the first N binds fail (-1: all)
    bool connectFails = false;
    bool sendFails = false;
    std::vector<std::string> chunks;      // what recv gives, one chunk a call, then...
    bool endWithError = false;            // ... -1 instead of 0 (the adapter's close)
    std::vector<int> receiveFromResults;  // receiveFrom's results in turn, then -1

    // What the code did.
    bool reuseBeforeBind = false;  // allowAddressReuse before the first bind, never after
    int binds = 0;
    int closes = 0;
    std::string sent;
};

// Installs `installed` as the table; the destructor puts the system's back.
class FakeSocketsInstalled {
public:
    explicit FakeSocketsInstalled(FakeSockets* installed);
    ~FakeSocketsInstalled();
    FakeSocketsInstalled(const FakeSocketsInstalled&) = delete;
    FakeSocketsInstalled& operator=(const FakeSocketsInstalled&) = delete;
};

}  // namespace orb::test

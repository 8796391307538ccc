#include "minihost/runtime/fault.h"

#include <unordered_set>

namespace minihost {
namespace {

struct Plan {
    long calls = 0;
    long failAt = 0; // 0: no fault planned
    bool persistent = false;
};

Plan plans[static_cast<int>(HostOp::kCount)];
long liveNodes = 0;
long liveDatabases = 0;
long liveIterators = 0;

std::unordered_set<void*>& liveStrings() {
    static auto* set = new std::unordered_set<void*>; // outlives static teardown of callers
    return *set;
}

} // namespace

void failNth(HostOp op, long nth, bool persistent) {
    Plan& plan = plans[static_cast<int>(op)];
    plan.failAt = nth > 0 ? plan.calls + nth : 0;
    plan.persistent = persistent;
}

void clearFaults() {
    for (Plan& plan : plans)
        plan = Plan{};
}

long callCount(HostOp op) {
    return plans[static_cast<int>(op)].calls;
}

bool faultHit(HostOp op) {
    Plan& plan = plans[static_cast<int>(op)];
    ++plan.calls;
    if (plan.failAt == 0)
        return false;
    return plan.persistent ? plan.calls >= plan.failAt : plan.calls == plan.failAt;
}

LiveCounts liveCounts() {
    return LiveCounts{liveNodes, static_cast<long>(liveStrings().size()), liveDatabases,
                      liveIterators};
}

namespace accounting {
void nodes(long delta) {
    liveNodes += delta;
}
void databases(long delta) {
    liveDatabases += delta;
}
void iterators(long delta) {
    liveIterators += delta;
}
void stringMade(void* p) {
    liveStrings().insert(p);
}
bool stringFreed(void* p) {
    return liveStrings().erase(p) != 0;
}
} // namespace accounting

} // namespace minihost

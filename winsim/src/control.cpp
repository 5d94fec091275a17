// The call log, failure injection and reset registry shared by every simulated module.
#include "control.h"

#include <cstdio>
#include <map>
#include <new>

namespace winsim {
namespace {

struct Injection {
    int occurrence; // 0: every call
    bool throws;
    long result;
};

struct State {
    std::vector<Call> calls;
    std::map<std::string, int> counts;
    std::multimap<std::string, Injection> injections;
};

State& state() {
    static State s;
    return s;
}

std::vector<std::function<void()>>& resets() {
    static std::vector<std::function<void()>> r;
    return r;
}

} // namespace

ResetHook::ResetHook(std::function<void()> reset) {
    resets().push_back(std::move(reset));
}

void Reset() {
    state() = State{};
    for (auto& reset : resets())
        reset();
}

const std::vector<Call>& Calls() {
    return state().calls;
}

std::vector<Call> CallsTo(const std::string& function) {
    std::vector<Call> found;
    for (const auto& call : state().calls)
        if (call.function == function) found.push_back(call);
    return found;
}

void ClearCalls() {
    state().calls.clear();
}

void FailCall(const std::string& function, long result, int occurrence) {
    state().injections.insert({function, Injection{occurrence, false, result}});
}

void ThrowInCall(const std::string& function, int occurrence) {
    state().injections.insert({function, Injection{occurrence, true, 0}});
}

namespace detail {

bool Enter(const char* function, std::vector<std::string> args, long* result) {
    State& s = state();
    s.calls.push_back(Call{function, std::move(args)});
    const int count = ++s.counts[function];
    auto range = s.injections.equal_range(function);
    for (auto it = range.first; it != range.second; ++it) {
        const Injection& injection = it->second;
        if (injection.occurrence != 0 && injection.occurrence != count) continue;
        if (injection.throws) throw std::bad_alloc();
        if (result) *result = injection.result;
        return true;
    }
    return false;
}

std::string Hex(unsigned long value) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lX", value);
    return text;
}

std::string Text(const char* text) {
    return text ? std::string(text) : std::string("(null)");
}

} // namespace detail
} // namespace winsim

// The inspector's exit statuses.
#pragma once

constexpr int kCompleted = 0; // the walk completed (and, for an audit, every value matches)
constexpr int kCutShort = 1;  // the walk was cut short; the values are still reported
constexpr int kBadInput = 2;  // usage or input error
constexpr int kMismatch = 3;  // the audit found a stored value that differs

// The more serious of two statuses: an input error, then a mismatch, then a walk cut short.
inline int WorseStatus(int a, int b) {
    const auto rank = [](int status) {
        return status == kBadInput ? 3 : status == kMismatch ? 2 : status == kCutShort ? 1 : 0;
    };
    return rank(a) >= rank(b) ? a : b;
}

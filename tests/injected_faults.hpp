#pragma once

#include <string>

// For the tests that call the writer in their own process, where the test
// build's calls (injected_faults.cpp) stand in for the tool's: while this
// lives, they make the faults named in `faults` (as POWERFACTS_FAULT names
// them), counting write calls from 1 again, so that write-error@K fails the
// K-th write of the call under test.
class InjectedFaults {
public:
    explicit InjectedFaults(const std::string& faults);
    ~InjectedFaults();
    InjectedFaults(const InjectedFaults&) = delete;
    InjectedFaults& operator=(const InjectedFaults&) = delete;
};

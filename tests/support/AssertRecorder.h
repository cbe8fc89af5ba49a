// Records the reports of the assertion hook for the test that installs it.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

struct CheckReport {
    std::string expression;
    std::string source;
    int line;
};

// Points the assertion hook at a recorder for its lifetime.
class AssertRecorder {
public:
    AssertRecorder();
    ~AssertRecorder();
    AssertRecorder(const AssertRecorder&) = delete;
    AssertRecorder& operator=(const AssertRecorder&) = delete;

    std::vector<CheckReport> Reports() const;
    // Whether a report with this expression (and source, when given) arrived.
    bool Saw(const std::string& in_expression, const std::string& in_source = std::string()) const;
    void Clear();
};

}  // namespace testing_support

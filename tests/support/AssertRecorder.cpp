#include "AssertRecorder.h"

#include <mutex>

#include "AssertHook.h"

namespace testing_support {
namespace {

std::mutex g_mutex;
std::vector<CheckReport> g_reports;

void Record(const char* in_pszExpression, const char* in_pszSource, int in_iLine) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_reports.push_back(CheckReport{in_pszExpression, in_pszSource, in_iLine});
}

}  // namespace

AssertRecorder::AssertRecorder() {
    Clear();
    g_pfnZvAssertHook = &Record;
}

AssertRecorder::~AssertRecorder() {
    g_pfnZvAssertHook = nullptr;
}

std::vector<CheckReport> AssertRecorder::Reports() const {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_reports;
}

bool AssertRecorder::Saw(const std::string& in_expression, const std::string& in_source) const {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (const CheckReport& report : g_reports) {
        if (report.expression == in_expression &&
            (in_source.empty() || report.source == in_source)) {
            return true;
        }
    }
    return false;
}

void AssertRecorder::Clear() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_reports.clear();
}

}  // namespace testing_support

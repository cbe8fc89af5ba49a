// The DLL-wide assertion hook through which every internal check of a plug-in reports.
//
// Each deliverable defines g_pfnZvAssertHook once: the engine libraries leave it null, the
// design-tool libraries start it at a function that does nothing, tests point it at a recorder.
// A report never changes the outcome of the operation that made it.
#pragma once

typedef void (*ZvAssertHook)(const char* in_pszExpression, const char* in_pszSource, int in_iLine);

extern ZvAssertHook g_pfnZvAssertHook;

inline void ZvReportCheck(const char* in_pszExpression, const char* in_pszSource, int in_iLine) {
    if (g_pfnZvAssertHook != nullptr) {
        g_pfnZvAssertHook(in_pszExpression, in_pszSource, in_iLine);
    }
}

// ZV_CHECK(source, expr): reports the expression's own text when it is false. The source is the
// name of the class or host header the check stands in ("CBuffer", "ZvCommonDefs", ...).
#define ZV_CHECK(in_source, ...)                              \
    do {                                                      \
        if (!(__VA_ARGS__)) {                                 \
            ZvReportCheck(#__VA_ARGS__, in_source, __LINE__); \
        }                                                     \
    } while (false)

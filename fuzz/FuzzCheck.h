// What a fuzzer holds the code to besides the sanitizers: a broken expectation stops the run with
// the expression and its place, and libFuzzer keeps the input that broke it.
#pragma once

#include <stdio.h>
#include <stdlib.h>

#define FUZZ_CHECK(...)                                                                           \
    do {                                                                                          \
        if (!(__VA_ARGS__)) {                                                                     \
            fprintf(stderr, "%s:%d: expectation failed: %s\n", __FILE__, __LINE__, #__VA_ARGS__); \
            abort();                                                                              \
        }                                                                                         \
    } while (false)

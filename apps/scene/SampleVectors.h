// Short vectors of samples in GCC's vector extensions (which Clang shares), for loops whose lanes
// must each compute exactly what one sample's plain code would: a lane is one sample or one
// channel, and each operation is the same IEEE operation per lane.
#pragma once

#include <cstdint>

namespace scene {

typedef float Floats2 __attribute__((vector_size(8)));
typedef float Floats4 __attribute__((vector_size(16)));
typedef float Floats8 __attribute__((vector_size(32)));
typedef double Doubles2 __attribute__((vector_size(16)));
typedef double Doubles4 __attribute__((vector_size(32)));
typedef int32_t Ints2 __attribute__((vector_size(8)));
typedef int32_t Ints4 __attribute__((vector_size(16)));
typedef int32_t Ints8 __attribute__((vector_size(32)));

}  // namespace scene

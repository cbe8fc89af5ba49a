// GUID, IID and CLSID, and __uuidof for interfaces declared with STANDIN_UUID.
#pragma once

#include <string.h>
#include <type_traits>

#include "windef.h"

typedef struct _GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} GUID;
static_assert(sizeof(GUID) == 16, "GUID is 16 bytes");

typedef GUID IID;
typedef GUID CLSID;
typedef GUID* LPGUID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
    return memcmp(&a, &b, sizeof(GUID)) == 0;
}
inline bool operator==(REFGUID a, REFGUID b) {
    return IsEqualGUID(a, b);
}
inline bool operator!=(REFGUID a, REFGUID b) {
    return !IsEqualGUID(a, b);
}
#define IsEqualIID(a, b) IsEqualGUID(a, b)
#define IsEqualCLSID(a, b) IsEqualGUID(a, b)

// The identifier of an interface or class is attached to its C++ type by a specialisation of
// standin_uuid_of; __uuidof accepts the type, a pointer type or an expression of either.
template <typename T>
struct standin_uuid_of;

#define STANDIN_UUID(type, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)                \
    template <>                                                                      \
    struct standin_uuid_of<type> {                                                   \
        static constexpr GUID value = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}; \
    };

#define __uuidof(x)   \
    (standin_uuid_of< \
        std::remove_cv_t<std::remove_pointer_t<std::remove_reference_t<__typeof__(x)>>>>::value)

// HSTRINGs made by the stand-in itself (GetDefaultAudioRenderId): counted in the live counters
// like the client's own, but not logged as a client call.
#pragma once

#include <winstring.h>

#include <string>

namespace standin {
namespace detail {

// S_OK with a new string (null for an empty one), or E_OUTOFMEMORY.
HRESULT CreateHString(const std::wstring& in_text, HSTRING* out_phString);
// The text of a live string (empty for the null string), read without logging a call.
std::wstring HStringText(HSTRING in_hString);

}  // namespace detail
}  // namespace standin

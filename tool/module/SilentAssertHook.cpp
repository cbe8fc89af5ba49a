#include "SilentAssertHook.h"

namespace ZV {
namespace Orvel {

void IgnoreCheck(const char*, const char*, int) {}

}  // namespace Orvel
}  // namespace ZV

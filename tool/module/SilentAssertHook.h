// Where the assertion hook of a design-tool library starts: a function that does nothing, so that
// checks inside the design tool report to nobody unless something sets the hook.
#pragma once

namespace ZV {
namespace Orvel {

void IgnoreCheck(const char* in_pszExpression, const char* in_pszSource, int in_iLine);

}  // namespace Orvel
}  // namespace ZV

/* The calling convention of the engine's and the design tool's interfaces, usable from C and C++.
 *
 * The engine and the design tool are built by the platform's own compiler, which calls member
 * functions on 32-bit x86 with __thiscall: `this` in ECX, the other arguments on the stack, popped
 * by the callee. ZV_THISCALL names that convention on every virtual function of those interfaces,
 * and on the C function pointers of a host written in C. MinGW-w64's GCC uses it for member
 * functions by default as well; the explicit attribute makes the interfaces say so, and an
 * overrider compiled with any other convention is an error ("conflicting type attributes").
 * x64 Windows and Linux have a single convention, and the macro is empty there. */
#pragma once

#if defined(_WIN32) && (defined(_M_IX86) || defined(__i386__))
#define ZV_THISCALL __thiscall
#else
#define ZV_THISCALL
#endif

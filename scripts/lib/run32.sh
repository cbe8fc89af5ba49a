# shellcheck shell=bash disable=SC2034  # the variables are for the scripts that source this
# Sourced (not run) by every stage that runs 32-bit x86 programs: finds out whether this machine
# runs them. Some kernels run none (built without IA32 emulation, or with it switched off, as newer
# ones ship): `gcc -m32` still builds, but the program fails with "Exec format error", and so does
# /usr/bin/wine, which starts the 32-bit Wine loader first. A stage skips its 32-bit parts there
# and says so (run32_reason); it never fails for it.
#
# After sourcing:
#   run32         1 when this machine runs 32-bit programs, 0 when it does not
#   run32_how     how that was decided: "detected", or "ZV_RUN32=0"
#   run32_reason  the words a stage prints for a 32-bit part it skips
#
# ZV_RUN32=0 forces the answer to no, so the skip paths can be tried on any machine; unset (or
# empty) asks the machine: a program of a few instructions is built with -m32 (no C library, so
# the compiler's 32-bit libraries need not be installed) in build/run32 and run there (a
# temporary folder may be mounted without the right to run programs). Any other ZV_RUN32, or a
# probe that cannot be built, stops the script that sources this.

run32_reason="this machine runs no 32-bit programs"

case "${ZV_RUN32:-}" in
0)
    run32=0
    run32_how="ZV_RUN32=0"
    ;;
"")
    run32_how="detected"
    run32_probe_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/build/run32"
    mkdir -p "$run32_probe_dir"
    # Exits with 42 through the 32-bit system call gate: the status proves that it ran.
    cat >"$run32_probe_dir/probe.c" <<'C'
void _start(void) { __asm__ volatile("movl $1, %eax\n\tmovl $42, %ebx\n\tint $0x80"); }
C
    if ! cc -m32 -nostdlib -static -ffreestanding -fno-stack-protector -o "$run32_probe_dir/probe" \
        "$run32_probe_dir/probe.c"; then
        echo "cannot build the 32-bit probe with cc -m32 (scripts/install-deps.sh installs the compiler)" >&2
        exit 1
    fi
    run32_status=0
    "$run32_probe_dir/probe" 2>/dev/null || run32_status=$?
    if [ "$run32_status" -eq 42 ]; then run32=1; else run32=0; fi
    unset run32_probe_dir run32_status
    ;;
*)
    echo "ZV_RUN32 is 0 (no 32-bit programs here) or unset (find out), not '$ZV_RUN32'" >&2
    exit 1
    ;;
esac

# Sourced by scripts/sanitize.sh and scripts/fuzz.sh: how the sanitizers of an
# instrumented build report.
#
# The options reach only instrumented programs (the test programs and fuzz
# targets, built with the sanitizer runtimes linked in). Child processes the
# tests start (python3 with pyftpdlib, vsftpd, sshd) are not instrumented and
# take no notice of them; nothing is preloaded into them.
#
# Leak checking stays on: a leak fails the test program that has it. Qt's own
# allocations stay reachable until exit; the leaks of system libraries that
# need suppressing are in scripts/lsan.supp, each with the reason.
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:detect_leaks=1:strict_init_order=1:detect_stack_use_after_return=0:allocator_may_return_null=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="print_suppressions=0:suppressions=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/lsan.supp"
if command -v llvm-symbolizer >/dev/null 2>&1; then
  export ASAN_SYMBOLIZER_PATH="$(command -v llvm-symbolizer)"
fi

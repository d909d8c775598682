// __chkstk for ARM64: a function whose frame is larger than a page calls it before moving
// the stack pointer, so that each page of the new frame is touched in order and the
// system's guard page grows the stack one page at a time. The ARM64 contract: x15 holds
// the frame size divided by 16, the caller then subtracts x15 * 16 from sp itself; the
// probe may change x16 and x17 only (and the flags), not x15 and not sp. With no C runtime
// for this target, the DLL and the test programs carry this one.
asm(R"(
    .text
    .globl  __chkstk
    .p2align 2
__chkstk:
    lsl     x16, x15, #4            // bytes still to probe
    mov     x17, sp
1:
    sub     x17, x17, #4096         // next page down
    ldr     xzr, [x17]              // touch it
    subs    x16, x16, #4096
    b.gt    1b
    ret
)");

#!/usr/bin/env python3
"""Two rules for the plugin module's instructions, read from objdump's AT&T listing.

1. Its VEX-encoded instructions (AVX and later) must all lie in the AVX2
   converter, which runs only once CPUID has reported AVX2 and F16C; so the
   module loads and runs on any x86-64 CPU.
2. Nowhere may it move a ymm or zmm register to or from the stack with an
   aligned move (vmovaps, vmovdqa, vmovntps, ...), unless the function first
   realigned %rsp for it. Windows x64 keeps the stack only 16-byte aligned, and
   a MinGW GCC without Debian's patch spills 32-byte values there with aligned
   moves all the same: on Windows they fault about half the time, under Wine
   never. Any %rsp- or %rbp-based operand counts as the stack.

Usage: check_avx_confined.py OBJDUMP MODULE
"""
import re
import subprocess
import sys

ALIGNED_MOVES = {"vmovaps", "vmovapd", "vmovdqa", "vmovdqa32", "vmovdqa64",
                 "vmovntps", "vmovntpd", "vmovntdq", "vmovntdqa"}
STACK_OPERAND = re.compile(r"\(%r[sb]p[,)]")
# Dynamic realignment, as GCC and Clang do it where the ABI lets them.
REALIGN = re.compile(r"^and\s+\$0x(f+[0-9a-f]*),%rsp$")

objdump, module = sys.argv[1], sys.argv[2]
listing = subprocess.run([objdump, "-d", "--no-show-raw-insn", module], capture_output=True, text=True,
                         check=True).stdout

function = ""
allowed = 0
offenders = {}
stack_moves = []
realigned_to = 16
for line in listing.splitlines():
    heading = re.match(r"^[0-9a-f]+ <(.+)>:$", line)
    if heading:
        function = heading.group(1)
        realigned_to = 16
        continue
    fields = line.split("\t")
    if len(fields) < 2 or not fields[1]:
        continue
    instruction = " ".join(fields[1].split())
    mnemonic = instruction.split()[0]
    realign = REALIGN.match(instruction)
    if realign:
        mask = int(realign.group(1), 16)
        realigned_to = mask & -mask
    # VEX mnemonics start with "v"; the few older ones that do are not used here.
    if not mnemonic.startswith("v") or mnemonic in ("verr", "verw"):
        continue
    width = 64 if "%zmm" in instruction else 32 if "%ymm" in instruction else 0
    if mnemonic in ALIGNED_MOVES and width > realigned_to and STACK_OPERAND.search(instruction):
        stack_moves.append((function, instruction))
    # convert_avx2 and its helpers in namespace vorlane::x86::avx2 (mangled
    # "3x864avx2"), which an optimised build inlines into it.
    if "convert_avx2" in function or "3x864avx2" in function:
        allowed += 1
    else:
        offenders[function] = offenders.get(function, 0) + 1

for name, count in sorted(offenders.items()):
    print(f"{count} AVX instructions in {name}")
for name, instruction in stack_moves:
    print(f"aligned stack move in {name}: {instruction}")
if offenders or stack_moves:
    sys.exit(1)
if allowed == 0:
    print("no AVX instructions at all: is the AVX2 converter built?")
    sys.exit(1)
print(f"{allowed} AVX instructions, all in the AVX2 converter; no aligned ymm or zmm move on the stack")

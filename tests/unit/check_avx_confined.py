#!/usr/bin/env python3
"""The plugin module's VEX-encoded instructions (AVX and later) must all lie in
the AVX2 converter, which runs only once CPUID has reported AVX2 and F16C; so
the module loads and runs on any x86-64 CPU. Usage: objdump module."""
import re
import subprocess
import sys

objdump, module = sys.argv[1], sys.argv[2]
listing = subprocess.run([objdump, "-d", "--no-show-raw-insn", module], capture_output=True, text=True,
                         check=True).stdout

function = ""
allowed = 0
offenders = {}
for line in listing.splitlines():
    heading = re.match(r"^[0-9a-f]+ <(.+)>:$", line)
    if heading:
        function = heading.group(1)
        continue
    fields = line.split("\t")
    if len(fields) < 2 or not fields[1]:
        continue
    mnemonic = fields[1].split()[0]
    # VEX mnemonics start with "v"; the few older ones that do are not used here.
    if not mnemonic.startswith("v") or mnemonic in ("verr", "verw"):
        continue
    # convert_avx2 and its helpers in namespace vorlane::x86::avx2 (mangled
    # "3x864avx2"), which an optimised build inlines into it.
    if "convert_avx2" in function or "3x864avx2" in function:
        allowed += 1
    else:
        offenders[function] = offenders.get(function, 0) + 1

for name, count in sorted(offenders.items()):
    print(f"{count} AVX instructions in {name}")
if offenders:
    sys.exit(1)
if allowed == 0:
    print("no AVX instructions at all: is the AVX2 converter built?")
    sys.exit(1)
print(f"{allowed} AVX instructions, all in the AVX2 converter")

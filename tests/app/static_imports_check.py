#!/usr/bin/env python3
"""Fails when the program imports statically a DLL that is not one of the system's known DLLs.

The loader resolves static imports before the program's first instruction, looking for a DLL
that is not a known DLL in the program's own folder first; the program runs elevated, so every
other library must be delay-loaded (cmake/DelayLoad.cmake) or loaded from System32 by full
search path.

usage: static_imports_check.py OBJDUMP PROGRAM.exe
"""
import re
import subprocess
import sys

# The KnownDLLs of Windows 10 and 11 that a program like this one may import (the registry's
# HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs, plus ntdll and kernelbase,
# which are always mapped from System32).
KNOWN = {
    "advapi32.dll", "clbcatq.dll", "combase.dll", "comdlg32.dll", "coml2.dll", "gdi32.dll",
    "imagehlp.dll", "imm32.dll", "kernel32.dll", "kernelbase.dll",
    "msctf.dll", "msvcrt.dll", "normaliz.dll", "nsi.dll", "ntdll.dll", "ole32.dll",
    "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "sechost.dll", "setupapi.dll", "shcore.dll",
    "shell32.dll", "shlwapi.dll", "user32.dll", "wldap32.dll", "ws2_32.dll",
}


def main():
    objdump, program = sys.argv[1:3]
    headers = subprocess.run([objdump, "-p", program], check=True, capture_output=True,
                             text=True).stdout
    imported = [m.lower() for m in re.findall(r"^\s*DLL Name: (\S+)", headers, re.M)]
    if not imported:
        sys.exit("no import table read from " + program)
    unknown = sorted(set(imported) - KNOWN)
    print("static imports:", ", ".join(sorted(set(imported))))
    if unknown:
        sys.exit("imported statically but not known DLLs (delay-load them): " + ", ".join(unknown))


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Reads the application manifest back out of each Windows program given: one
RT_MANIFEST (24) resource, id 1, that runs the program as its invoker (so
Windows reports a refused write instead of redirecting it) and names Windows
Vista to 11 as supported. Exits non-zero, saying why, when one falls short."""
import sys
import xml.etree.ElementTree as ElementTree

import pefile

RT_MANIFEST = 24
SUPPORTED = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  # Vista
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # 10 and 11
}


def manifests(path):
    pe = pefile.PE(path)
    resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for kind in resources.entries if resources else []:
        if kind.id != RT_MANIFEST:
            continue
        for name in kind.directory.entries:
            for language in name.directory.entries:
                data = language.data.struct
                yield name.id, pe.get_data(data.OffsetToData, data.Size)


def problems(path):
    found = list(manifests(path))
    if [number for number, _ in found] != [1]:
        return [f"manifest ids {[number for number, _ in found]}, wanted [1]"]
    root = ElementTree.fromstring(found[0][1])
    levels = [(e.get("level"), e.get("uiAccess")) for e in root.iter()
              if e.tag.endswith("}requestedExecutionLevel")]
    oses = {e.get("Id") for e in root.iter() if e.tag.endswith("}supportedOS")}
    wrong = []
    if levels != [("asInvoker", "false")]:
        wrong.append(f"execution level {levels}")
    if oses != SUPPORTED:
        wrong.append(f"supported systems {sorted(oses)}")
    return wrong


failed = False
for program in sys.argv[1:]:
    wrong = problems(program)
    print(("FAIL " if wrong else "ok   ") + program + "".join(": " + w for w in wrong))
    failed |= bool(wrong)
sys.exit(1 if failed or len(sys.argv) < 2 else 0)

#!/usr/bin/env python3
"""Writes the cross presets of CMakePresets.json from the cross matrix
(cmake/cross-targets.txt): for each processor cross-<name> (configure,
build, test, workflow), and deb-<name> (configure, build) for those a
package is built for. Every other preset stays as it is.

    tools/cross-presets.py          rewrites CMakePresets.json
    tools/cross-presets.py --check  fails when it is not as the matrix says
"""
import json
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
PRESETS = ROOT / "CMakePresets.json"
MATRIX = ROOT / "cmake" / "cross-targets.txt"
# Written here; "cross" and "deb-flags" are the hidden ones they inherit.
GENERATED = re.compile(r"^(cross|deb)-(?!flags$).+")


def matrix():
    rows = []
    for line in MATRIX.read_text().splitlines():
        fields = line.split("#", 1)[0].split()
        if fields:
            name, triplet, _qemu, package = fields
            rows.append((name, triplet, package == "yes"))
    return rows


def generated(rows):
    presets = {"configurePresets": [], "buildPresets": [], "testPresets": [], "workflowPresets": []}
    for name, triplet, _ in rows:
        preset = f"cross-{name}"
        presets["configurePresets"].append({
            "name": preset,
            "inherits": "cross",
            "displayName": f"Linux {name} ({triplet}), tests under qemu-user (make cross)",
            "binaryDir": f"${{sourceDir}}/build-{name}",
            "cacheVariables": {"ZW_CROSS": name},
        })
        presets["buildPresets"].append({"name": preset, "configurePreset": preset})
        presets["testPresets"].append({
            "name": preset,
            "configurePreset": preset,
            "output": {"outputOnFailure": True, "outputJUnitFile": "ctest-results.xml"},
            "execution": {"timeout": 300},
        })
        presets["workflowPresets"].append({
            "name": preset,
            "steps": [{"type": kind, "name": preset} for kind in ("configure", "build", "test")],
        })
    for name, _, package in rows:
        if not package:
            continue
        preset = f"deb-{name}"
        presets["configurePresets"].append({
            "name": preset,
            "inherits": ["deb-flags", "cross"],
            "displayName": f"Debian package for {name} (make package)",
            "binaryDir": f"${{sourceDir}}/build-{preset}",
            "cacheVariables": {"ZW_CROSS": name},
        })
        presets["buildPresets"].append({"name": preset, "configurePreset": preset})
    return presets


def rewritten(document, presets):
    """The document with its generated presets replaced: the cross-<name>
    ones where the first of them was, the deb-<name> ones likewise (at the
    end of the list when there was none)."""
    out = dict(document)
    for kind, new in presets.items():
        presets_of_kind = list(document.get(kind, []))
        for prefix in ("cross-", "deb-"):
            group = [p for p in new if p["name"].startswith(prefix)]
            ours = [i for i, p in enumerate(presets_of_kind)
                    if p["name"].startswith(prefix) and GENERATED.match(p["name"])]
            at = ours[0] if ours else len(presets_of_kind)
            kept = [p for i, p in enumerate(presets_of_kind) if i not in ours]
            presets_of_kind = kept[:at] + group + kept[at:]
        out[kind] = presets_of_kind
    return out


def main():
    text = PRESETS.read_text()
    want = json.dumps(rewritten(json.loads(text), generated(matrix())), indent=2, ensure_ascii=False) + "\n"
    if "--check" in sys.argv[1:]:
        if want != text:
            print("CMakePresets.json: the cross presets differ from cmake/cross-targets.txt; run tools/cross-presets.py")
            return 1
        return 0
    PRESETS.write_text(want)
    return 0


if __name__ == "__main__":
    sys.exit(main())

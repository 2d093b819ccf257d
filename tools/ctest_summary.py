#!/usr/bin/env python3
"""One stage's tests in a few lines, from the JUnit file CTest wrote
(`ctest --output-junit FILE`):

    PASSED FAILED SKIPPED
    failed<TAB>NAME                       one line per failed test
    skipped<TAB>N<TAB>REASON<TAB>NAMES    one line per reason a test skipped

A test CTest could not run (a missing executable, a failed fixture) counts
as failed; a skipped one is one that said so (SKIP_RETURN_CODE or gtest's
GTEST_SKIP), and its reason is the line it gave."""

import sys
import xml.etree.ElementTree as ElementTree

SKIP_MESSAGES = ("SKIP_RETURN_CODE", "SKIP_REGULAR_EXPRESSION_MATCHED")


def skip_reason(output, fallback):
    """"SKIPPED: why" from a script; the message under gtest's "...: Skipped"."""
    lines = output.splitlines()
    for at, line in enumerate(lines):
        if line.startswith("SKIPPED: "):
            return line[len("SKIPPED: "):].strip()
        if line.endswith(": Skipped"):
            said = []
            for more in lines[at + 1:]:
                if more.startswith("[  SKIPPED ]"):
                    break
                said.append(more.strip())
            if any(said):
                return " ".join(s for s in said if s)
    return fallback


def summarise(path):
    passed, failed, skipped = 0, [], {}
    for case in ElementTree.parse(path).getroot().iter("testcase"):
        name, status = case.get("name"), case.get("status")
        skip = case.find("skipped")
        output = case.findtext("system-out") or ""
        if status == "run":
            passed += 1
        elif status == "disabled":
            skipped.setdefault("disabled", []).append(name)
        elif status == "notrun" and skip is not None and \
                skip.get("message", "").startswith(SKIP_MESSAGES):
            skipped.setdefault(skip_reason(output, "no reason given"), []).append(name)
        else:
            failed.append(name)
    print(passed, len(failed), sum(len(names) for names in skipped.values()))
    for name in failed:
        print(f"failed\t{name}")
    for reason, names in skipped.items():
        shown = ", ".join(names[:3]) + (f" and {len(names) - 3} more" if len(names) > 3 else "")
        print(f"skipped\t{len(names)}\t{reason}\t{shown}")


if __name__ == "__main__":
    summarise(sys.argv[1])

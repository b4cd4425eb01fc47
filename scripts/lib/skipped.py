"""Says why each skipped test was skipped, from CTest's JUnit results (--output-junit).

CTest's summary names the tests that did not run but not why; the reason is in each test's
output: the lines after GoogleTest's "file:line: Skipped", or a script's "SKIP: ..." line
(its last line otherwise). Prints nothing when no test was skipped.
    python3 scripts/lib/skipped.py RESULTS.xml
"""
import sys
import xml.etree.ElementTree as ET


def reason(output):
    lines = [line.strip() for line in output.splitlines()]
    for i, line in enumerate(lines):
        if line.endswith(": Skipped"):
            said = []
            for follow in lines[i + 1:]:
                if not follow or follow.startswith("[  SKIPPED ]"):
                    break
                said.append(follow)
            if said:
                return " ".join(said)
    for line in lines:
        if line.startswith("SKIP"):
            return line.split(":", 1)[-1].strip() or line
    said = [line for line in lines if line]
    return said[-1] if said else "(the test said nothing)"


def main():
    try:
        root = ET.parse(sys.argv[1]).getroot()
    except (OSError, ET.ParseError) as error:
        print(f"scripts/test: no test results to read the skips from ({error})", file=sys.stderr)
        return
    skipped = []
    for case in root.iter("testcase"):
        if case.find("skipped") is None:
            continue
        out = case.find("system-out")
        skipped.append((case.get("name"), reason(out.text if out is not None and out.text else "")))
    if skipped:
        print("Skipped, and why:")
        for name, why in skipped:
            print(f"  {name}: {why}")


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""Prints the accessibility tree of the program with process id ARGV[1], as
screen readers read it over AT-SPI: one line per node, tab-separated depth,
role, name and description."""
import sys

import pyatspi


def walk(node, depth):
    try:
        role = node.getRoleName()
        name = node.name or ""
        description = node.description or ""
        count = node.childCount
    except Exception:  # a node that went away while being read
        return
    fields = [str(depth), role, name, description]
    print("\t".join(f.replace("\t", " ").replace("\n", "\\n") for f in fields))
    for i in range(count):
        child = node.getChildAtIndex(i)
        if child is not None:
            walk(child, depth + 1)


def main():
    pid = int(sys.argv[1])
    for app in pyatspi.Registry.getDesktop(0):
        try:
            if app is None or app.get_process_id() != pid:
                continue
        except Exception:
            continue
        walk(app, 0)
        return 0
    print("no application with process id %d" % pid, file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())

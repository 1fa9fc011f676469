#!/usr/bin/env python3
# Prints every circle of includes among the desktop layer's files (a file's
# .h and .cpp count as one unit) and exits 1 when there is one: the windows
# are wired by the entry point, never by reaching back into each other.
import os, re, sys

root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "gui")
edges = {}
for folder, _, names in os.walk(root):
    for name in names:
        if not name.endswith((".h", ".cpp")):
            continue
        path = os.path.join(folder, name)
        unit = os.path.relpath(path, root).rsplit(".", 1)[0]
        with open(path, encoding="utf-8") as f:
            for used in re.findall(r'^#include "gui/([^"]+)\.(?:h|cpp)"', f.read(), re.M):
                if used != unit:
                    edges.setdefault(unit, set()).add(used)

index, low, stack, on_stack, circles = {}, {}, [], set(), []
def visit(v):
    index[v] = low[v] = len(index)
    stack.append(v)
    on_stack.add(v)
    for w in edges.get(v, ()):
        if w not in index:
            visit(w)
            low[v] = min(low[v], low[w])
        elif w in on_stack:
            low[v] = min(low[v], index[w])
    if low[v] == index[v]:
        members = []
        while True:
            w = stack.pop()
            on_stack.discard(w)
            members.append(w)
            if w == v:
                break
        if len(members) > 1:
            circles.append(sorted(members))

sys.setrecursionlimit(10000)
for unit in sorted(edges):
    if unit not in index:
        visit(unit)
for members in circles:
    print("src/gui include circle: " + " -> ".join(members), file=sys.stderr)
sys.exit(1 if circles else 0)

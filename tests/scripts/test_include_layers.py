#!/usr/bin/env python3
"""The folders under src/ are layers. The services (package, inet, dialogs, autoupdate, rundir,
utils, lang) include nothing from stub/, which holds the program and its flows, and no two folders
include each other, directly or through others. src/<sub>/ and src/<sub>/win/ (and any deeper
folder) are the one subsystem <sub>; an edge is an #include "x/..." line whose x is a folder of
src/. Files directly in src/ belong to no subsystem.

The check is first shown to catch each fault on small fixture trees, then run on the real one.

Usage: test_include_layers.py SRC_DIR
"""
import os
import re
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import checks  # noqa: E402
from checks import expect  # noqa: E402

SERVICES = ("package", "inet", "dialogs", "autoupdate", "rundir", "utils", "lang")
TOP = "stub"
SOURCE_ENDINGS = (".h", ".hpp", ".c", ".cc", ".cpp", ".inl")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"/]+)/[^"]*"')


def include_edges(src):
    """{subsystem: {included subsystem: ["file:line", ...]}} for edges between two folders."""
    folders = {d for d in os.listdir(src) if os.path.isdir(os.path.join(src, d))}
    edges = {}
    for sub in sorted(folders):
        for path, number, line in checks.source_lines(os.path.join(src, sub), SOURCE_ENDINGS):
            m = INCLUDE.match(line)
            if not m or m.group(1) not in folders or m.group(1) == sub:
                continue
            where = "%s:%d" % (os.path.relpath(path, src), number)
            edges.setdefault(sub, {}).setdefault(m.group(1), []).append(where)
    return edges


def strongly_connected(graph):
    """Tarjan's components of more than one node, each sorted, in a stable order."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []
    counter = [0]

    def visit(node):
        index[node] = low[node] = counter[0]
        counter[0] += 1
        stack.append(node)
        on_stack.add(node)
        for nxt in sorted(graph.get(node, {})):
            if nxt not in index:
                visit(nxt)
                low[node] = min(low[node], low[nxt])
            elif nxt in on_stack:
                low[node] = min(low[node], index[nxt])
        if low[node] == index[node]:
            component = []
            while True:
                top = stack.pop()
                on_stack.discard(top)
                component.append(top)
                if top == node:
                    break
            if len(component) > 1:
                found.append(sorted(component))

    for node in sorted(graph):
        if node not in index:
            visit(node)
    return sorted(found)


def cycle_through(graph, component):
    """One cycle inside a component, as a list of nodes that starts and ends at its first."""
    start, members = component[0], set(component)
    paths = [[start]]
    seen = {start}
    while paths:
        path = paths.pop(0)
        for nxt in sorted(graph.get(path[-1], {})):
            if nxt == start:
                return path + [start]
            if nxt in members and nxt not in seen:
                seen.add(nxt)
                paths.append(path + [nxt])
    return [start, start]


def problems(src):
    edges = include_edges(src)
    found = []
    for sub in SERVICES:
        for where in edges.get(sub, {}).get(TOP, []):
            found.append("%s includes %s/: %s" % (sub, TOP, where))
    for component in strongly_connected(edges):
        cycle = cycle_through(edges, component)
        steps = ["  %s -> %s: %s" % (a, b, edges[a][b][0]) for a, b in zip(cycle, cycle[1:])]
        head = "include cycle " + " -> ".join(cycle)
        if len(component) > len(cycle) - 1:
            head += " (one of several among " + ", ".join(component) + ")"
        found.append(head + "\n" + "\n".join(steps))
    return found


def make_tree(root, files):
    for path, text in files.items():
        full = os.path.join(root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w") as f:
            f.write(text)


def inc(*targets):
    return "".join('#include "%s"\n' % t for t in targets)


# name, files of a src/ tree, texts every one of which a reported problem must contain
FIXTURES = [
    ("layered tree passes",
     {"stub/win/stub.cpp": inc("package/win/setup.h", "inet/win/http.h", "utils/text.h"),
      "stub/flow.cpp": inc("stub/win/stub_window.h", "autoupdate/cycle.h"),
      "autoupdate/cycle.h": inc("package/info.h", "inet/comm.h"),
      "package/win/setup.cpp": inc("utils/win/file.h", "dialogs/win/box.h", "error.h"),
      "inet/win/http.cpp": inc("utils/text.h"),
      "error.h": inc("utils/trace.h"),
      "utils/text.cpp": inc("error.h")},
     []),
    ("a service's Win32 layer including the stub window",
     {"inet/win/http.cpp": inc("stub/win/stub_window.h"), "stub/x.cpp": ""},
     ["inet includes stub/: inet/win/http.cpp:1"]),
    ("a portable service header including the stub",
     {"autoupdate/cycle.h": "// the agent's cycle\n" + inc("stub/agent_state.h"),
      "stub/agent_state.h": ""},
     ["autoupdate includes stub/: autoupdate/cycle.h:2"]),
    ("two Win32 layers including each other",
     {"package/win/dispatch.cpp": inc("inet/win/web.h"), "inet/win/web.cpp": inc("package/win/x.h")},
     ["include cycle inet -> package -> inet", "package/win/dispatch.cpp:1",
      "inet/win/web.cpp:1"]),
    ("a cycle through three folders",
     {"lang/a.cpp": inc("rundir/b.h"), "rundir/b.cpp": inc("dialogs/c.h"),
      "dialogs/c.cpp": inc("lang/a.h")},
     ["include cycle dialogs -> lang -> rundir -> dialogs"]),
    ("the top folder in a cycle, reported as both faults",
     {"stub/win/stub.cpp": inc("autoupdate/cycle.h"), "autoupdate/cycle.h": inc("stub/state.h")},
     ["autoupdate includes stub/", "include cycle autoupdate -> stub -> autoupdate"]),
    ("commented and angle-bracket includes are no edges",
     {"utils/a.cpp": '// #include "stub/x.h"\n#include <stub/x.h>\n', "stub/x.h": ""},
     []),
]


def check_fixtures():
    for name, files, wanted in FIXTURES:
        with tempfile.TemporaryDirectory() as root:
            make_tree(root, files)
            found = problems(root)
        report = "\n".join(found) or "(nothing reported)"
        # Every wanted text is reported, and nothing is reported that none of them explains.
        ok = (all(any(w in p for p in found) for w in wanted) and
              all(any(w in p for w in wanted) for p in found))
        expect("fixture: " + name, ok, report)


def main(argv):
    if len(argv) != 2:
        print(__doc__)
        return 2
    check_fixtures()
    found = problems(argv[1])
    expect("src/ is layered without cycles", not found, "\n".join(found))
    return 1 if checks.failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

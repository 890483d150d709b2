#!/usr/bin/env python3
"""Fails when a source file includes a header of a module above its own, or
when a module below the window includes a Qt Widgets header.

The modules and what each may include are those of src/CMakeLists.txt; the
build enforces the same through the include directories, and this check also
catches relative paths and widget headers reached through the Qt include root.
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
SRC = ROOT / "src"

# What each module may include besides itself.
BELOW = {
    "base": set(),
    "config": {"base"},
    "imageio": {"base"},
    "engine": {"config", "base"},
    "display": {"imageio", "base"},
    "output": {"display", "imageio", "base"},
    "workflow": {"output", "display", "imageio", "engine", "config", "base"},
    "app": {"workflow", "output", "display", "imageio", "engine", "config", "base"},
    "cli": {"workflow", "output", "display", "imageio", "engine", "config", "base"},
}
WINDOWED = {"app"}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)


def widget_headers():
    """Every header name of the Qt Widgets module, as <QWidget> or <QtWidgets/...>."""
    names = set()
    for root in ("/usr/include/x86_64-linux-gnu/qt6", "/usr/include/qt6"):
        folder = pathlib.Path(root) / "QtWidgets"
        if folder.is_dir():
            names.update(p.name for p in folder.iterdir())
    if not names:
        sys.exit("check-layers: the Qt Widgets headers were not found")
    return names


def main():
    widgets = widget_headers()
    owner = {}  # header name -> module
    for module in BELOW:
        for header in (SRC / module).glob("*.h"):
            owner[header.name] = module
        for header in (SRC / module).glob("*.inl"):
            owner[header.name] = module
    faults = []
    for module, allowed in BELOW.items():
        for path in sorted((SRC / module).iterdir()):
            if path.suffix not in (".cpp", ".h", ".inl"):
                continue
            text = path.read_text(encoding="utf-8", errors="replace")
            for kind, name in INCLUDE.findall(text):
                close = ">" if kind == "<" else '"'
                where = f"{path.relative_to(ROOT)}: #include {kind}{name}{close}"
                base = pathlib.PurePosixPath(name).name
                if kind == "<":
                    widget = name.startswith("QtWidgets/") or (base in widgets and "/" not in name)
                    if widget and module not in WINDOWED:
                        faults.append(f"{where}: a widget header below the window")
                    continue
                target = owner.get(base)
                if target and target != module and target not in allowed:
                    faults.append(f"{where}: {module}/ may not include {target}/")
    for fault in faults:
        print(fault)
    if faults:
        sys.exit(1)
    print("check-layers: every include points down, no widget header below app/")


if __name__ == "__main__":
    main()

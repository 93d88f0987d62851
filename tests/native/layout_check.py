#!/usr/bin/python3
"""Checks which folder's headers each file of the program includes: the
toolkit and ui/presence/ stand alone, tray/ and arrange/ build on the
toolkit (arrange/ on ui/presence/ too), only the main window
brings them together, and main.cpp starts the windows. So no include cycle can
run between folders. The build gives each layer only its own headers and
those of the layers below; this check says the same of the code, and adds
what the build cannot see within ui/.

    layout_check.py SOURCE_DIR
"""

import os
import re
import sys

# What each folder's code may include from other folders of the program.
ALLOWED = {
    "memory": {"resources"},
    "resources": set(),
    "ui/toolkit": set(),
    "ui/presence": set(),
    "tray": {"ui/toolkit", "resources"},
    "arrange": {"ui/toolkit", "ui/presence", "resources"},
    "ui": {"ui/toolkit", "ui/presence", "memory", "resources", "tray", "arrange"},
    "": {"ui", "ui/toolkit"},   # main.cpp
}
# Within ui/, the forms reach each other through ui/Forms.h; the main
# window's file alone includes tray/ and arrange/.
ONLY_MAIN_WINDOW = {"tray", "arrange"}
FORM_HEADERS = ("ui/MainWindow.h", "ui/StartWindow.h")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def folder_of(path):
    return os.path.dirname(path)


def sources(root):
    """(folder, path) of every source file of the program."""
    yield "", "main.cpp"
    for folder in ALLOWED:
        if not folder:
            continue
        for name in sorted(os.listdir(os.path.join(root, folder))):
            if name.endswith((".h", ".cpp")):
                yield folder, folder + "/" + name


def main(root):
    faults = []
    for folder, path in sources(root):
        with open(os.path.join(root, path), encoding="utf-8") as f:
            for included in INCLUDE.findall(f.read()):
                target = folder_of(included)
                own_header = os.path.splitext(included)[0] == os.path.splitext(path)[0]
                if included in FORM_HEADERS and not own_header and path != "main.cpp":
                    faults.append("%s includes %s (the forms meet through ui/Forms.h)" % (path, included))
                elif target == folder:
                    continue
                elif target not in ALLOWED[folder]:
                    faults.append("%s includes %s" % (path, included))
                elif target in ONLY_MAIN_WINDOW and path != "ui/MainWindow.cpp":
                    faults.append("%s includes %s (only ui/MainWindow.cpp may)" % (path, included))
    for fault in faults:
        print(fault)
    print("layout: %d faults" % len(faults))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))

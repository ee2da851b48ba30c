"""Walks the window program's accessible tree as a screen reader does, and
drives it through the accessibility actions alone.
   walk.py PORTWARDEN_CLI STORE   (run by at-spi-test.sh on a private bus)"""
import subprocess
import sys
import time

import pyatspi

CLI, STORE = sys.argv[1], sys.argv[2]
CAPTION = "PORTWARDEN - Script Security and Trusted Sites Manager"
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def wait_for(what, probe, seconds=20):
    deadline = time.time() + seconds
    while time.time() < deadline:
        found = probe()
        if found:
            return found
        time.sleep(0.2)
    raise SystemExit("accessibility test: gave up waiting for " + what)


def application():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "portwarden":
            return app
    return None


def showing(acc):
    return acc.getState().contains(pyatspi.STATE_SHOWING)


def walk(acc, depth=0):
    """The showing accessibles below acc, with their depth, in tree order."""
    for i in range(acc.childCount):
        child = acc.getChildAtIndex(i)
        if child is None or not showing(child):
            continue
        yield child, depth
        yield from walk(child, depth + 1)


def actions(acc):
    try:
        action = acc.queryAction()
    except NotImplementedError:
        return {}
    return {action.getName(i): i for i in range(action.nActions)}


def press(acc):
    acc.queryAction().doAction(actions(acc)["Press"])


def window_named(app, caption):
    for i in range(app.childCount):
        child = app.getChildAtIndex(i)
        if child is not None and child.name == caption and showing(child):
            return child
    return None


def zone_state():
    return subprocess.run([CLI, "--store", STORE, "status"], capture_output=True, text=True).stdout.strip()


# Roles that a user acts on or reads: each has a name; the controls and the
# pictures also say what they do or show.
NAMED = {"push button", "combo box", "radio button", "check box", "image", "tree", "tree table", "table", "label",
         "frame", "dialog"}
DESCRIBED = {"push button", "combo box", "radio button", "check box", "image", "tree", "tree table", "table"}


def check_names(window):
    for acc, _ in walk(window):
        role = acc.getRoleName()
        where = f"{role} in {window.name!r}"
        if role in NAMED:
            check(acc.name, f"a {where} has no name")
        if role in DESCRIBED:
            check(acc.description, f"the {where} {acc.name!r} has no description")


def outline(window):
    lines = [f"[{window.getRoleName()}] {window.name}"]
    for acc, depth in walk(window):
        if acc.getRoleName() in ("filler", "panel", "scroll bar", "text") and not acc.name:
            continue
        text = f"{'  ' * (depth + 1)}[{acc.getRoleName()}] {acc.name}"
        if acc.description:
            text += f" -- {acc.description[:70]}{'...' if len(acc.description) > 70 else ''}"
        lines.append(text)
    return "\n".join(lines)


app = wait_for("the window program on the accessibility bus", application)
main = wait_for("the main window", lambda: window_named(app, CAPTION))
check(main.getRoleName() == "frame", f"the main window is a {main.getRoleName()}, not a frame")
check_names(main)
print(outline(main))

by_role = {}
for acc, _ in walk(main):
    by_role.setdefault(acc.getRoleName(), []).append(acc)

# The status picture shows the state, in its name and description.
pictures = {acc.name: acc for acc in by_role.get("image", [])}
check("Semi-secured" in pictures, f"no status picture named Semi-secured among {sorted(pictures)}")
if "Semi-secured" in pictures:
    check("semi-secured" in pictures["Semi-secured"].description, "the status picture does not say the state")
    check("Press" in actions(pictures["Semi-secured"]), "the status picture cannot be pressed")
for name in ("Trusted", "Unclassified", "Restricted", "Delete"):
    check(name in pictures, f"no legend picture named {name}")
check(by_role.get("separator"), "the legend's rules are not separators")

# The list reads a row as protocol, subdomain, domain, zone.
lists = [acc for acc in by_role.get("tree", []) + by_role.get("tree table", []) + by_role.get("table", [])]
check(len(lists) == 1 and lists[0].name == "Site list", f"no list named Site list: {[a.name for a in lists]}")
cells = [acc.name for acc in by_role.get("table cell", [])]
check(", ".join(cells) == "Default, no subdomain, example.com, Trusted",
      f"the row reads {', '.join(cells)!r}")

# The switch, pressed through its action, writes the store as a click does.
buttons = {acc.name: acc for acc in by_role.get("push button", [])}
if check("Secure" in buttons, f"no push button named Secure among {sorted(buttons)}"):
    switch = buttons["Secure"]
    check("prompting profile" in switch.description, "the switch does not tell of Ctrl and Alt")
    check(zone_state() == "semi-secured", "the store is not semi-secured before the press")
    press(switch)
    wait_for("the store to be secured", lambda: zone_state() == "secured", 10)
    wait_for("the switch to read De-Secure", lambda: switch.name == "De-Secure", 10)

# The verification dialog, opened and closed through the tree alone.
boxes = [acc for acc in by_role.get("combo box", []) if acc.name == "Address"]
if check(boxes, "no combo box named Address"):
    edits = [acc for acc, _ in walk(boxes[0]) if acc.getRoleName() == "text"]
    if check(edits, "the address box has no text to type in"):
        edits[0].queryEditableText().setTextContents("https://www.example.org/")
        press(buttons["Add"])
        dialog = wait_for("the verification dialog", lambda: window_named(app, "Verify Generalised Domain Listing"))
        check_names(dialog)
        print(outline(dialog))
        options = [acc.name for acc, _ in walk(dialog) if acc.getRoleName() == "radio button"]
        check(options == ["Trusted", "Unclassified", "Restricted"], f"the dialog's options are {options}")
        cancel = [acc for acc, _ in walk(dialog) if acc.getRoleName() == "push button" and acc.name == "Cancel"]
        if check(cancel, "the dialog has no Cancel button"):
            press(cancel[0])
            wait_for("the dialog to close",
                     lambda: window_named(app, "Verify Generalised Domain Listing") is None, 10)

for failure in failures:
    print("accessibility test: " + failure, file=sys.stderr)
if failures:
    sys.exit(1)
print("accessibility test: every control named and described, the list read by row, the switch and the dialog "
      "driven through their actions")

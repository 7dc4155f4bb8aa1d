"""What the end-to-end scripts share: checks that are counted, bounded waits, the release server's
control requests, and the installer's window read as a screen reader reads it."""

import glob
import os
import subprocess
import time
import urllib.parse
import urllib.request

failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


def wait_until(condition, timeout, step=0.1):
    """The first true value of `condition` within `timeout` seconds, or None."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(step)
    return None


def poll(what, condition, timeout):
    """The first true value of `condition` within `timeout` seconds; a failure when none came."""
    value = wait_until(condition, timeout)
    if not value:
        check(False, "timed out waiting for " + what)
    return value


def control(server, verb, **query):
    url = server + "_control/" + verb + "?" + urllib.parse.urlencode(query)
    return urllib.request.urlopen(url, timeout=10).read().decode()


def read_tree(probe):
    """The client area's children as a screen reader lists them, [(role, name, value, state,
    default action)], and the focused element (role, name), read by tools/access_probe."""
    out = subprocess.run(["wine", probe, "tree"], capture_output=True,
                         timeout=60).stdout.decode("utf-8", "replace")
    children, focus = [], None
    for line in out.splitlines():
        fields = line.split("\t")
        if fields[0] == "child" and len(fields) >= 7:
            children.append(tuple(fields[2:7]))
        elif fields[0] == "focus" and len(fields) >= 3:
            focus = (fields[1], fields[2])
    return children, focus


def tree_names(tree):
    return [(role, name) for role, name, _value, _state, _action in tree[0]]


def prefix_folders():
    """The prefix's user folders that a run touches: (the download folder in its temporary
    folder, the window's default install folder), or None when the prefix is not as expected."""
    local = [d for d in glob.glob(os.path.join(os.environ["WINEPREFIX"], "drive_c", "users", "*",
                                               "AppData", "Local"))
             if os.sep + "Public" + os.sep not in d]
    if not check(len(local) == 1, "one user in the prefix %s" % local):
        return None
    # Wine gives the user's temporary folder as <user>\Temp, beside AppData.
    downloads = os.path.join(os.path.dirname(os.path.dirname(local[0])), "Temp",
                             "QuorvaneInstaller")
    if not check(os.path.isdir(os.path.dirname(downloads)),
                 "the prefix's temporary folder %s" % os.path.dirname(downloads)):
        return None
    return downloads, os.path.join(local[0], "Programs", "Quorvane")

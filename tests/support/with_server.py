#!/usr/bin/env python3
"""Runs a command with the release server up: with_server.py --root DIR -- COMMAND...

The command sees QV_TEST_SERVER=http://127.0.0.1:PORT/ in its environment (Wine passes it on to
Windows programs). The server is stopped when the command ends; the command's exit code is kept.
"""

import os
import subprocess
import sys
import tempfile


def main():
    args = sys.argv[1:]
    if "--" not in args or args[0] != "--root":
        sys.exit(__doc__)
    split = args.index("--")
    root, command = args[1], args[split + 1:]
    here = os.path.dirname(os.path.abspath(__file__))
    with tempfile.TemporaryDirectory() as scratch:
        port_file = os.path.join(scratch, "port")
        server = subprocess.Popen(
            [sys.executable, os.path.join(here, "release_server.py"), "--root", root,
             "--port-file", port_file],
            stdout=subprocess.PIPE, text=True)
        try:
            line = server.stdout.readline()
            if not line.startswith("port "):
                sys.exit("release server did not start")
            env = dict(os.environ, QV_TEST_SERVER=f"http://127.0.0.1:{line.split()[1]}/",
                       QV_TEST_ROOT=os.path.abspath(root))
            return subprocess.call(command, env=env)
        finally:
            server.terminate()
            server.wait(timeout=10)


if __name__ == "__main__":
    sys.exit(main())

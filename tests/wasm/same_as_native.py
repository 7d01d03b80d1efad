#!/usr/bin/env python3
"""The WebAssembly listpool-sim, under Node.js, does what the native one does.

For each session, both are run plainly and with --every-schedule: standard
output (every write with its virtual time, thread, file and bytes, then how
the run ended), standard error and exit status must be the same bytes.
Both searches copy runs and restore them, so they count the same runs and
steps too. Then, as a control, a session that ends at its time limit must fail both
with the same status, so an exit status lost on the way out of WebAssembly
is seen.

  same_as_native.py NATIVE_SIM WASM_SIM_JS SESSION...
"""
import os
import subprocess
import sys
import tempfile

NODE = ["node"]


def run(command, *args):
    env = dict(os.environ)
    env.pop("LISTPOOL_SEARCH_REPLAY", None)
    done = subprocess.run(command + list(args), capture_output=True, timeout=300, env=env)
    return done.returncode, done.stdout, done.stderr


def main():
    native, wasm, sessions = [sys.argv[1]], NODE + [sys.argv[2]], sys.argv[3:]
    failed = 0
    with tempfile.TemporaryDirectory() as folder:
        late = os.path.join(folder, "late.session")
        with open(late, "w", encoding="utf-8") as out:
            out.write("p\n@90000000 q\n")  # past the day a run may last
        for session in sessions + [late]:
            for mode in ([], ["--every-schedule"]):
                a = run(native, *mode, session)
                b = run(wasm, *mode, session)
                name = " ".join(mode + [os.path.basename(session)])
                if session == late and a[0] == 0:
                    print(f"{name}: the control ended with status 0 natively")
                    failed = 1
                if a != b:
                    print(f"{name}: differs (status {a[0]} natively, {b[0]} in WebAssembly)")
                    for label, x, y in (("stdout", a[1], b[1]), ("stderr", a[2], b[2])):
                        if x != y:
                            print(f"  {label} native:\n{x.decode(errors='replace')[-2000:]}")
                            print(f"  {label} wasm:\n{y.decode(errors='replace')[-2000:]}")
                    failed = 1
                else:
                    first = a[1].decode(errors="replace").splitlines()
                    print(f"{name}: same ({len(a[1])} bytes, status {a[0]}"
                          f"{', ' + first[0] if mode and first else ''})")
    return failed


if __name__ == "__main__":
    sys.exit(main())

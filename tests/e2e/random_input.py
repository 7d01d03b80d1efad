"""Seeded random bytes and command scripts: the program must end, exit with
status 0 and print a bounded amount."""

import random
import re
import threading
import time

from e2e_harness import PROMPT, SECONDS_PER_WORD, Failure, require_equal, run_case, words_in

# What standard output may consist of, line by line, once the prompts at the
# start of a line are taken off (the console never starts a worker here).
OUTPUT_LINE = re.compile(
    rb"(?:Your Command \[i d p f F g s\]\? )*(?:"
    rb"Please enter integers to be inserted \(-1 to stop\)"
    rb"|Please enter the key to delete: (?:going to delete: -?\d+)?"
    rb"|Deleted Key\(\d+\)"
    rb"|Input: \[-?\d+\] is not in the list!"
    rb"|\*\*\*\* WARNING \*\*\*\*: Out of memory: List insertion of \d+ failed!!"
    rb"|Here is the Record Pool:"
    rb"|Record Memory Pool Content: "
    rb"|Memory: \[(?: 0| 3| 6| 9|12)\]: Record\( [0-4]\): "
    rb"Key= *\d+  Next= *(?:-1|0|3|6|9|12)  MM=(?:InUse|Free)"
    rb"|I did not implement list-based mergeSort"
    rb"|BUT \.\.\. you should!"
    rb")?\Z"
)

# The most standard output one byte of input can cause: "f" and a blank make
# a prompt and a pool dump of about 400 bytes.
OUTPUT_PER_INPUT_BYTE = 250
OUTPUT_ALLOWANCE = 1000

# p, F and g start workers that hold the guards for seconds; they are left
# out of the random input so that many runs fit in the time.
WORKER_COMMANDS = b"pFg"


def random_bytes(rng):
    white = b" \t\n\r\v\f"
    digits = b"0123456789"
    signs = b"+-xX"
    letters = b"idfsq"
    others = bytes(b for b in range(256) if b not in WORKER_COMMANDS)
    pools = [white, digits, signs, letters, others]
    weights = [20, 20, 10, 15, 35]
    out = bytearray()
    for _ in range(rng.randrange(0, 200)):
        out.append(rng.choice(rng.choices(pools, weights)[0]))
    return bytes(out)


def random_number(rng):
    kind = rng.randrange(20)
    value = rng.choice([0, 1, 7, 42, 255, 2**31 - 1, 2**31, 2**32 + 5, 10**18])
    if kind == 0:
        # Starts no number, or stops short: the read fails and the run ends.
        return rng.choice(["-", "+", "0x", "-0x", "+-1", "--1", "x1", "0x-1", "\x00", "1e9",
                           "09", "0xg"])
    if kind < 3:
        return hex(value) if rng.random() < 0.5 else hex(value).upper()
    if kind < 5:
        return "0" + oct(value)[2:]
    if kind < 7:
        return "-" + str(value)
    if kind < 9:
        return "0" * rng.randrange(10, 20) + str(value)
    if kind < 11:
        return "-1"
    return ("+" if rng.random() < 0.3 else "") + str(value)


def random_script(rng):
    words = []
    for _ in range(rng.randrange(1, 16)):
        kind = rng.randrange(24)
        if kind < 6:
            words.append(rng.choice(["i", "insert", "i" * 300]))
            words += [random_number(rng) for _ in range(rng.randrange(0, 7))]
            if rng.random() < 0.7:
                words.append("-1")
        elif kind < 11:
            words += [rng.choice(["d", "delete"]), random_number(rng)]
        elif kind < 16:
            words.append(rng.choice(["f", "fish", "s", "sort"]))
        elif kind < 17:
            words.append(rng.choice(["q", "quit"]))
        else:
            words.append(rng.choice(["Quit", "Insert", "D", "x", "\x00", "\xff", "-1", "42",
                                     "S" * 500, "?", ""]))
    script = ""
    for word in words:
        script += word + rng.choice([" ", "\n", "\t", "\r\n", "  ", "\v", "\f"])
    data = script.encode("latin-1")
    if rng.random() < 0.2:
        data = data[: rng.randrange(len(data) + 1)]  # input ends mid-command
    return data


def check_random_run(run, options, data, status, waited):
    run.check_exit(status)
    limit = SECONDS_PER_WORD * words_in(data) + 5
    if waited > limit:
        raise Failure(f"took {waited:.2f} s after its input ended, more than {limit:.2f} s")
    out = run.out.data
    bound = OUTPUT_PER_INPUT_BYTE * len(data) + OUTPUT_ALLOWANCE
    if len(out) > bound:
        raise Failure(f"wrote {len(out)} bytes of standard output, more than {bound}")
    require_equal("standard error", b"", run.err.data)
    if options.crlf:
        if out.count(b"\n") != out.count(b"\r\n"):
            raise Failure("a line end without CR on standard output")
        out = out.replace(b"\r\n", b"\n")
    if not out.startswith(PROMPT.encode()):
        raise Failure("standard output does not start with the prompt")
    for line in out.split(b"\n"):
        if not OUTPUT_LINE.match(line):
            raise Failure(f"unexpected line on standard output: {line!r}")
    run.check_logs()


def random_input(options, seed, count, seconds, parallel=6):
    print(f"random input: seed {seed} (rerun with --seed {seed})", flush=True)
    stop_at = time.monotonic() + seconds
    lock = threading.Lock()
    state = {"next": 0, "done": 0, "failure": None}

    def worker():
        while True:
            with lock:
                index = state["next"]
                if state["failure"] or index >= count or time.monotonic() > stop_at:
                    return
                state["next"] += 1
            rng = random.Random(f"{seed}/{index}")
            data = random_bytes(rng) if index % 2 == 0 else random_script(rng)

            def one_input(new_run, options):
                run = new_run()
                run.send(data, close=True)
                status = run.finish(timeout=SECONDS_PER_WORD * words_in(data) + 20)
                waited = run.exit_time - (run.input_closed_at or run.exit_time)
                check_random_run(run, options, data, status, waited)

            try:
                run_case(one_input, options)
            except Failure as failure:
                with lock:
                    state["failure"] = f"seed {seed}, input {index}: {failure}\ninput: {data!r}"
                return
            with lock:
                state["done"] += 1

    threads = [threading.Thread(target=worker) for _ in range(parallel)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    if state["failure"]:
        raise Failure(state["failure"])
    if state["done"] < min(count, parallel):
        raise Failure(f"only {state['done']} random inputs ran in {seconds} s")
    print(f"random input: {state['done']} runs passed", flush=True)


